// write's picture options: --picture TYPE=IMAGE[:DESCRIPTION] and --delete-picture TYPE.
#include "tools/veltrano-tags/picture_options.h"

#include <sys/stat.h>

#include "app/core/picture_info.h"
#include "tags/file_util.h"
#include "tags/mapping_common.h"
#include "tags/tags.h"
#include "tags/text.h"

namespace {

// Picture files larger than this are refused before they are read: no
// picture in a tag is that big.
constexpr int64_t MaxPictureFileBytes = 64LL * 1024 * 1024;

bool IsFile(const std::string& Path) {
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool TypeOf(const std::string& Text, uint32_t& Type, std::string& Error) {
    if (auto t = pictureinfo::ParseType(Text)) {
        Type = *t;
        return true;
    }
    Error = "unknown picture type '" + Text + "' (a number 0 to 20 or a name such as front, back, artist)";
    return false;
}

// A name no picture of the container has: "Cover art N".
std::string FreeName(const TTags& Tags) {
    for (int n = Tags.CoverArtCount() + 1;; ++n) {
        const std::string name = mapping::CoverArtName(n);
        if (!Tags.CoverArt(name)) return name;
    }
}

}  // namespace

bool TakePictureOption(const std::vector<std::string>& Args, size_t& I, std::vector<TPictureEdit>& Edits,
                       std::string& Error) {
    const std::string& option = Args[I];
    if (option != "--picture" && option != "--delete-picture") return false;
    if (I + 1 >= Args.size()) {
        Error = option == "--picture" ? "--picture needs TYPE=IMAGE[:DESCRIPTION]" : "--delete-picture needs a TYPE";
        return true;
    }
    const std::string& value = Args[++I];
    TPictureEdit edit;
    if (option == "--delete-picture") {
        edit.Delete = true;
        if (TypeOf(value, edit.Type, Error)) Edits.push_back(edit);
        return true;
    }
    const size_t eq = value.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == value.size()) {
        Error = "--picture needs TYPE=IMAGE[:DESCRIPTION], got '" + value + "'";
        return true;
    }
    if (!TypeOf(value.substr(0, eq), edit.Type, Error)) return true;
    // A path may hold colons itself: the whole rest is the picture when such
    // a file exists, else the part before the last colon.
    edit.Image = value.substr(eq + 1);
    if (!IsFile(edit.Image)) {
        const size_t colon = edit.Image.rfind(':');
        if (colon != std::string::npos && colon > 0 && IsFile(edit.Image.substr(0, colon))) {
            edit.Description = edit.Image.substr(colon + 1);
            edit.HasDescription = true;
            edit.Image.resize(colon);
        } else {
            Error = "--picture: cannot read '" + edit.Image + "': no such file";
            return true;
        }
    }
    Edits.push_back(edit);
    return true;
}

bool ApplyPictureEdits(TTags& Tags, const std::vector<TPictureEdit>& Edits, std::string& Error) {
    for (const TPictureEdit& edit : Edits) {
        if (edit.Delete) {
            for (int i = Tags.CoverArtCount() - 1; i >= 0; --i)
                if (Tags.CoverArtAt(i)->CoverType == edit.Type) Tags.DeleteCoverArt(i);
            continue;
        }
        const std::optional<int64_t> size = fileutil::FileSize(edit.Image);
        if (!size) {
            Error = "--picture: cannot read '" + edit.Image + "'";
            return false;
        }
        if (*size > MaxPictureFileBytes) {
            Error = "--picture: '" + edit.Image + "' is too large for a picture";
            return false;
        }
        std::vector<uint8_t> data;
        if (!fileutil::ReadWholeFile(edit.Image, data)) {
            Error = "--picture: cannot read '" + edit.Image + "'";
            return false;
        }
        const pictureinfo::TImageInfo info = pictureinfo::Inspect(data.data(), data.size());
        if (info.Mime.empty()) {
            Error = "--picture: '" + edit.Image + "' is not a JPEG, PNG, GIF, BMP or WebP picture";
            return false;
        }
        // The first picture that matches takes the new bytes in its place;
        // further ones of its type go, so the file holds the one asked for.
        TCoverArt* target = nullptr;
        for (int i = 0; i < Tags.CoverArtCount();) {
            TCoverArt* c = Tags.CoverArtAt(i);
            const bool match =
                c->CoverType == edit.Type && (!edit.HasDescription || c->Description == edit.Description);
            if (match && target) {
                Tags.DeleteCoverArt(i);
                continue;
            }
            if (match) target = c;
            ++i;
        }
        // A replaced picture keeps its description unless a new one is given.
        const bool added = !target;
        if (added) target = Tags.AddCoverArt(FreeName(Tags));
        if (added || edit.HasDescription) target->Description = edit.Description;
        target->Data = std::move(data);
        target->MIMEType = info.Mime;
        target->PictureFormat = PictureFormatFromMIMEType(info.Mime);
        target->CoverType = edit.Type;
        target->Width = info.Width;
        target->Height = info.Height;
        target->ColorDepth = target->NoOfColors = 0;
    }
    return true;
}
