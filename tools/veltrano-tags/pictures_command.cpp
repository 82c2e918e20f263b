// pictures FILE [--extract DIR]: every picture of a file as one JSON line,
// and with --extract each written out as DIR/NN-TYPE.EXT.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "app/core/picture_info.h"
#include "tags/tags.h"
#include "tools/veltrano-tags/commands.h"
#include "tools/veltrano-tags/json.h"

namespace {

int Fail(const std::string& Message, int Status = 2) {
    std::fprintf(stderr, "veltrano-tags: pictures: %s\n", Message.c_str());
    return Status;
}

// Writes Data to Path, replacing a file of that name but never following a
// link planted there.
bool WriteFileBytes(const std::string& Path, const std::vector<uint8_t>& Data, std::string& Error) {
    const int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        Error = std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < Data.size()) {
        const ssize_t w = ::write(fd, Data.data() + done, Data.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            Error = std::strerror(errno);
            ::close(fd);
            return false;
        }
        done += (size_t)w;
    }
    if (::close(fd) != 0) {
        Error = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

int CmdPictures(const std::vector<std::string>& Args) {
    std::string path, extract;
    for (size_t i = 0; i < Args.size(); ++i) {
        if (Args[i] == "--extract") {
            if (i + 1 >= Args.size() || Args[i + 1].empty()) return Fail("--extract needs a folder");
            extract = Args[++i];
        } else if (path.empty() && Args[i].rfind("--", 0) != 0) {
            path = Args[i];
        } else {
            return Fail("unknown argument '" + Args[i] + "'");
        }
    }
    if (path.empty()) return Fail("no file given");
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return Fail("cannot open '" + path + "': no such file");
    if (!extract.empty()) {
        struct stat dir {};
        if (::stat(extract.c_str(), &dir) != 0 && ::mkdir(extract.c_str(), 0755) != 0)
            return Fail("cannot create the folder '" + extract + "': " + std::strerror(errno));
        if (::stat(extract.c_str(), &dir) != 0 || !S_ISDIR(dir.st_mode))
            return Fail("'" + extract + "' is not a folder");
    }

    TTags tags;
    tags.ParseAudioAttributes = false;
    const int result = tags.LoadFromFile(path);
    if (result != 0 && !tags.Loaded)
        return Fail("cannot read '" + path + "' (result " + std::to_string(result) + ")", 1);
    int status = 0;
    for (int i = 0; i < tags.CoverArtCount(); ++i) {
        const TCoverArt& c = *tags.CoverArtAt(i);
        const pictureinfo::TImageInfo info = pictureinfo::Inspect(c.Data.data(), c.Data.size());
        const std::string mime = !c.MIMEType.empty() ? c.MIMEType : info.Mime;
        // The size the bytes hold; the tag's own figures when they cannot be read.
        const uint32_t width = info.Width ? info.Width : c.Width, height = info.Height ? info.Height : c.Height;
        std::string line = "{\"index\":" + std::to_string(i) + ",\"type\":" + std::to_string(c.CoverType) +
                           ",\"type_name\":" + JsonString(pictureinfo::TypeKey(c.CoverType)) +
                           ",\"description\":" + JsonString(c.Description) + ",\"mime\":" + JsonString(mime) +
                           ",\"bytes\":" + std::to_string(c.Data.size()) + ",\"width\":" + std::to_string(width) +
                           ",\"height\":" + std::to_string(height);
        if (!extract.empty()) {
            const char* key = pictureinfo::TypeKey(c.CoverType);
            char name[64];
            std::snprintf(name, sizeof name, "%02d-%s.%s", i + 1, *key ? key : "picture",
                          pictureinfo::ExtensionOfMime(mime));
            const std::string out = extract + (extract.back() == '/' ? "" : "/") + name;
            std::string error;
            if (WriteFileBytes(out, c.Data, error)) {
                line += ",\"file\":" + JsonString(out);
            } else {
                std::fprintf(stderr, "veltrano-tags: pictures: cannot write '%s': %s\n", out.c_str(), error.c_str());
                status = 1;
            }
        }
        std::printf("%s}\n", line.c_str());
    }
    std::fflush(stdout);
    return status;
}
