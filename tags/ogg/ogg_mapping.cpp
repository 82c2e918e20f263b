// The Ogg Vorbis and Opus kind's module: its comments go through the shared
// comment mapping (tags/vorbis/vorbis_mapping.h); its pictures are
// METADATA_BLOCK_PICTURE comments, kept in the places of the old ones.
#include <algorithm>

#include "tags/mapping_common.h"
#include "tags/ogg/ogg_module.h"
#include "tags/ogg/opus_tag.h"
#include "tags/stream.h"
#include "tags/stream_values.h"
#include "tags/tags.h"
#include "tags/vorbis/vorbis_mapping.h"

using namespace vorbismapping;

namespace oggmodule {

void Merge(TTags& Tags) {
    TOpusTag& T = Tags.OggVorbisAndOpusTag();
    if (!Tags.OnlyParseCoverArts) LoadComments(Tags, T.Frames, false);
    if (T.CoverArtCount() > 0) {
        Tags.DeleteAllCoverArts();
        if (Tags.ParseCoverArts) MergePictures(Tags, T);
    }
}

bool MergePictures(TTags& Tags, TOpusTag& From) {
    bool added = false;
    for (int i = 0; i < From.Count(); ++i) {
        vorbis::TPictureInfo info;
        std::vector<uint8_t> data;
        if (!From.GetCoverArtFromFrame(i, info, data)) continue;
        FillCoverArt(*Tags.AddCoverArt(mapping::NextCoverArtName(Tags)), info, std::move(data));
        added = true;
    }
    return added;
}

void Prepare(TTags& Tags) {
    TOpusTag& T = Tags.OggVorbisAndOpusTag();
    T.UpperCaseFieldNamesToWrite = Tags.UpperCaseFieldNamesToWrite;
    PrepareComments(Tags, T.Frames, false);
    if (!Tags.ParseCoverArts) return;
    // The pictures take the places of the old picture fields, in order.
    std::vector<std::vector<uint8_t>> oldData;
    for (int i = 0; i < T.Count(); ++i) {
        vorbis::TPictureInfo info;
        std::vector<uint8_t> data;
        if (T.GetCoverArtFromFrame(i, info, data)) oldData.push_back(std::move(data));
    }
    TOpusTag built;
    for (int i = 0; i < Tags.CoverArtCount(); ++i) {
        TCoverArt* c = Tags.CoverArtAt(i);
        const bool fromFile = std::find(oldData.begin(), oldData.end(), c->Data) != oldData.end();
        built.AddCoverArtFrame(PictureInfoOf(*c, fromFile), c->Data);
    }
    std::vector<TOpusTagFrame> out;
    size_t next = 0;
    for (auto& f : T.Frames) {
        if (f.Format != vcfCoverArt)
            out.push_back(std::move(f));
        else if (next < built.Frames.size())
            out.push_back(std::move(built.Frames[next++]));
    }
    for (; next < built.Frames.size(); ++next) out.push_back(std::move(built.Frames[next]));
    T.Frames = std::move(out);
}

int Save(TTags& Tags, const std::string& FileName, bool /*Buffered*/, TStream* Stream) {
    Prepare(Tags);
    if (Stream) {
        Stream->Seek(0);
        return Tags.OggVorbisAndOpusTag().SaveToStream(*Stream);
    }
    return Tags.OggVorbisAndOpusTag().SaveToFile(FileName);
}

void DeleteNative(TTags& Tags, const TTag& Entry) { DeleteMatching(Tags.OggVorbisAndOpusTag().Frames, Entry, false); }

int Strip(const std::string& FileName) { return RemoveOggTagFromFile(FileName); }

bool StripFailed(int NativeCode) {
    return NativeCode == oggresult::WriteFailed || NativeCode == oggresult::CannotRewrite;
}

// Ogg Vorbis / Opus headers: Opus answers its bit rate, channel count, input
// sample rate; Vorbis its bit rate (final even when 0), channel count and
// sample rate; either gives bits 0 (final once the channel count is known),
// play time and sample count.
TStreamValues StreamValues(const TTags& Tags) {
    const TOpusTag& O = Tags.OggVorbisAndOpusTag();
    TStreamValues V;
    if (!O.Loaded || (O.Format != ofOpus && O.Format != ofVorbis)) return V;
    V.PlayTime = O.Info.PlayTime;
    V.BitRate = {O.Info.BitRate, O.Format == ofVorbis};
    V.Channels.Value = O.Info.Channels;
    V.BitsPerSample = {0, O.Info.Channels != 0};
    V.SamplesPerSec.Value = O.Info.SampleRate;
    V.SampleCount.Value = streamvalues::ClampedInt<int64_t>((int64_t)O.Info.SampleCount);
    return V;
}

}  // namespace oggmodule
