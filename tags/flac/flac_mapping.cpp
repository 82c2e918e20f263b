// The FLAC kind's module: its Vorbis comments go through the shared
// comment mapping (tags/vorbis/vorbis_mapping.h); its pictures are PICTURE
// metadata blocks.
#include <algorithm>

#include "tags/flac/flac_module.h"
#include "tags/flac/flac_tag.h"
#include "tags/mapping_common.h"
#include "tags/stream.h"
#include "tags/stream_values.h"
#include "tags/tags.h"
#include "tags/vorbis/vorbis_mapping.h"

using namespace vorbismapping;

namespace flacmodule {

void Merge(TTags& Tags) {
    TFlacTag& T = Tags.FlacTag();
    if (!Tags.OnlyParseCoverArts) LoadComments(Tags, T.Tags, true);
    if (T.CoverArtCount() > 0) {
        Tags.DeleteAllCoverArts();
        if (Tags.ParseCoverArts) MergePictures(Tags, T);
    }
}

bool MergePictures(TTags& Tags, TFlacTag& From) {
    for (int i = 0; i < From.CoverArtCount(); ++i)
        FillCoverArt(*Tags.AddCoverArt(mapping::CoverArtName(i + 1)), From.CoverArts[i].Info, From.CoverArts[i].Data);
    return From.CoverArtCount() > 0;
}

void Prepare(TTags& Tags) {
    TFlacTag& T = Tags.FlacTag();
    T.UpperCaseFieldNamesToWrite = Tags.UpperCaseFieldNamesToWrite;
    PrepareComments(Tags, T.Tags, true);
    if (!Tags.ParseCoverArts) return;
    std::vector<TFlacPicture> old = std::move(T.CoverArts);
    T.DeleteAllCoverArts();
    for (int i = 0; i < Tags.CoverArtCount(); ++i) {
        TCoverArt* c = Tags.CoverArtAt(i);
        const bool fromFile =
            std::any_of(old.begin(), old.end(), [&](const TFlacPicture& p) { return p.Data == c->Data; });
        T.AddCoverArt(PictureInfoOf(*c, fromFile), c->Data);
    }
}

int Save(TTags& Tags, const std::string& FileName, bool Buffered, TStream* Stream) {
    Prepare(Tags);
    if (Stream) {
        Stream->Seek(0);
        return Tags.FlacTag().SaveToStream(*Stream, Buffered);
    }
    return Tags.FlacTag().SaveToFile(FileName, Buffered);
}

void DeleteNative(TTags& Tags, const TTag& Entry) { DeleteMatching(Tags.FlacTag().Tags, Entry, true); }

int Strip(const std::string& FileName) { return RemoveFlacTagFromFile(FileName); }

bool StripFailed(int NativeCode) {
    return NativeCode == flacresult::WriteFailed || NativeCode == flacresult::CannotRewrite;
}

// FLAC stream info (play time only when the stream info is valid): bit
// rate, channels, bits, sample rate, total samples.
TStreamValues StreamValues(const TTags& Tags) {
    const TFlacTag& F = Tags.FlacTag();
    TStreamValues V;
    V.PlayTime = F.Playtime();
    V.BitRate.Value = F.Bitrate();
    V.Channels.Value = F.Channels;
    V.BitsPerSample.Value = F.BitsPerSample;
    V.SamplesPerSec.Value = F.SampleRate;
    V.SampleCount.Value = streamvalues::ClampedInt<int64_t>((int64_t)F.SampleCount);
    return V;
}

}  // namespace flacmodule
