#include "tags/riff/riff_chunks.h"

#include <algorithm>
#include <cstring>

// ---- owned bytes ------------------------------------------------------------------

TStreamBytes::TStreamBytes(std::vector<uint8_t> Bytes) : FBytes(std::move(Bytes)) {
    static_cast<TByteReader&>(*this) = TByteReader(FBytes);
}

// A moved vector keeps its block, so the reader's pointer and position stay
// valid; the source is left empty.
TStreamBytes::TStreamBytes(TStreamBytes&& Other) noexcept : FBytes(std::move(Other.FBytes)) {
    static_cast<TByteReader&>(*this) = static_cast<const TByteReader&>(Other);
    static_cast<TByteReader&>(Other) = TByteReader();
    Other.FBytes.clear();
}

TStreamBytes& TStreamBytes::operator=(TStreamBytes&& Other) noexcept {
    if (this != &Other) {
        FBytes = std::move(Other.FBytes);
        static_cast<TByteReader&>(*this) = static_cast<const TByteReader&>(Other);
        static_cast<TByteReader&>(Other) = TByteReader();
        Other.FBytes.clear();
    }
    return *this;
}

TStreamBytes ReadAt(TStream& Stream, int64_t Pos, int64_t Count) {
    const int64_t Size = Stream.Size();
    if (Pos < 0 || Pos > Size || Count <= 0 || Stream.Seek(Pos) != Pos) return TStreamBytes();
    const int64_t Take = std::min(Count, Size - Pos);
    std::vector<uint8_t> Bytes(size_t(Take), 0);
    const int64_t Got = Stream.Read(Bytes.data(), Take);
    Bytes.resize(size_t(Got > 0 ? Got : 0));
    return TStreamBytes(std::move(Bytes));
}

namespace riff {

namespace {

// Where a form's data ends: its declared size when that holds at least the
// form type and fits the stream, else the end of the stream.
int64_t FormEndOf(uint64_t Declared, int64_t HeaderSize, int64_t Size) {
    if (Declared < 4 || Declared > uint64_t(Size)) return Size;
    return std::min<int64_t>(int64_t(Declared) + HeaderSize, Size);
}

TFormHeader ProbeFormHeader(TStream& S) {
    TFormHeader F;
    const int64_t Size = S.Size();
    TStreamBytes H = ReadAt(S, 0, 36);
    if (!H.has(12)) return F;
    const std::string Magic = H.str(4);
    if (Magic == "RIFF" || Magic == "RF64") {
        const uint32_t Declared = H.u32le();
        F.FormType = H.str(4);
        F.Kind = Magic == "RIFF" ? TFormKind::RIFF : TFormKind::RF64;
        if (F.FormType != "WAVE") {
            if (F.Kind == TFormKind::RF64) {
                F.RF64WithoutWave = true;
                return F;
            }
            return TFormHeader();
        }
        F.FormSize = Declared;
        if (F.Kind == TFormKind::RF64 && H.has(24) && H.str(4) == "ds64") {
            H.u32le();  // ds64 size
            F.HasDS64 = true;
            F.FormSize = H.u64le();
            F.DS64DataSize = H.u64le();
            F.SizeFieldPos = 20;
            F.SizeFieldWidth = 8;
        }
        F.FormEnd = FormEndOf(F.FormSize, 8, Size);
        return F;
    }
    if (Magic == "FORM") {
        const uint32_t Declared = H.u32be();
        F.FormType = H.str(4);
        if (F.FormType != "AIFF" && F.FormType != "AIFC") return TFormHeader();
        F.Kind = TFormKind::AIFF;
        F.BigEndian = true;
        F.FormSize = Declared;
        F.FormEnd = FormEndOf(F.FormSize, 8, Size);
        return F;
    }
    if (Magic == "DSD ") {
        // Its own size, the file size and the metadata pointer.
        if (!H.has(24)) return TFormHeader();
        F.Kind = TFormKind::DSF;
        F.FormType = "DSD ";
        F.PadOdd = false;
        F.SizeIncludesHeader = true;
        F.ChunkHeaderSize = 12;
        H.u64le();  // the "DSD " chunk's own size
        F.FormSize = H.u64le();
        F.DSFMetadataPointer = H.u64le();
        F.SizeFieldPos = 12;
        F.SizeFieldWidth = 8;
        F.HeaderSize = 0;
        F.FirstChunk = 0;
        F.FormEnd = F.FormSize <= uint64_t(Size) ? int64_t(F.FormSize) : Size;
        return F;
    }
    if (Magic == "FRM8") {
        if (!H.has(12)) return TFormHeader();
        const uint64_t Declared = H.u64be();
        F.FormType = H.str(4);
        if (F.FormType != "DSD ") return TFormHeader();
        F.Kind = TFormKind::DSDIFF;
        F.BigEndian = true;
        F.ChunkHeaderSize = 12;
        F.FormSize = Declared;
        F.SizeFieldWidth = 8;
        F.HeaderSize = 12;
        F.FirstChunk = 16;
        F.FormEnd = FormEndOf(F.FormSize, 12, Size);
        return F;
    }
    return F;
}

}  // namespace

TFormHeader ProbeForm(TStream& S) {
    try {
        return ProbeFormHeader(S);
    } catch (const ETagFormat&) {
        return TFormHeader();  // a header cut short is no container
    }
}

int64_t TChunk::Span() const {
    const int64_t Room = StreamSize - Pos;
    const uint64_t Whole = uint64_t(HeaderSize) + Size + uint64_t(Pad);
    if (Room <= 0) return 0;
    return Whole > uint64_t(Room) ? Room : int64_t(Whole);
}

bool TChunk::PlausibleID() const {
    if (ID.size() != 4) return false;
    for (char C : ID)
        if (uint8_t(C) < 0x20 || uint8_t(C) > 0x7E) return false;
    return true;
}

TChunkWalker::TChunkWalker(TStream& Stream, const TFormHeader& Form, int64_t Start, int64_t Limit)
    : FStream(Stream), FForm(Form), FPos(Start), FLimit(std::min(Limit, Stream.Size())) {}

bool TChunkWalker::Next(TChunk& C) {
    if (FOverran || FCount >= MaxChunks) return false;
    const int64_t HeaderSize = FForm.ChunkHeaderSize;
    if (FPos < 0 || FLimit - FPos < HeaderSize) return false;
    TStreamBytes H = ReadAt(FStream, FPos, HeaderSize);
    if (!H.has(size_t(HeaderSize))) return false;
    ++FCount;
    C = TChunk();
    C.StreamSize = FStream.Size();
    C.Pos = FPos;
    C.HeaderSize = HeaderSize;
    C.ID = H.str(4);
    uint64_t Size;
    if (HeaderSize == 12)
        Size = FForm.BigEndian ? H.u64be() : H.u64le();
    else
        Size = FForm.BigEndian ? H.u32be() : H.u32le();
    if (FForm.SizeIncludesHeader) Size = Size >= uint64_t(HeaderSize) ? Size - uint64_t(HeaderSize) : 0;
    if (FForm.Kind == TFormKind::RF64 && FForm.HasDS64 && C.Is("data") && Size == 0xFFFFFFFFu)
        Size = FForm.DS64DataSize;
    C.Size = Size;
    const int64_t Room = C.StreamSize - FPos - HeaderSize;
    if (Size > uint64_t(Room)) {
        C.Overruns = true;
        FOverran = true;
        FPos = C.StreamSize;
        return true;
    }
    // A pad byte missing at the very end of the stream is not counted.
    C.Pad = FForm.PadOdd && (Size & 1) && uint64_t(Room) > Size ? 1 : 0;
    FPos = C.End();
    return true;
}

TFormWalk::TFormWalk(TStream& Stream, const TFormHeader& Form)
    : FWalker(Stream, Form, Form.FirstChunk, Form.FormEnd), FFormEnd(Form.FormEnd), FEnd(Form.FirstChunk) {}

bool TFormWalk::Next(TChunk& C) {
    if (!FPast) {
        if (FWalker.Next(C)) return true;
        // A chunk cut short by the end of the stream ends the whole walk.
        if (FWalker.Overran()) return false;
        FPast = true;
        FEnd = FWalker.Position();
        FBoundary = FEnd == FFormEnd;
        FWalker.ExtendToEnd();
    }
    if (FStopped) return false;
    if (!FWalker.Next(C) || !C.PlausibleID() || C.Overruns) {
        FStopped = true;
        return false;
    }
    FEnd = C.End();
    return true;
}

std::vector<uint8_t> BuildChunk(const TFormHeader& Form, const char* ID, const std::vector<uint8_t>& Data) {
    TByteWriter W;
    W.str(std::string_view(ID, 4));
    const uint64_t Size = Data.size() + (Form.SizeIncludesHeader ? uint64_t(Form.ChunkHeaderSize) : 0);
    if (Form.ChunkHeaderSize == 12)
        Form.BigEndian ? W.u64be(Size) : W.u64le(Size);
    else
        Form.BigEndian ? W.u32be(uint32_t(Size)) : W.u32le(uint32_t(Size));
    W.bytes(Data.data(), Data.size());
    if (Form.PadOdd && (Data.size() & 1)) W.u8(0);
    return W.take();
}

bool IsFillerID(std::string_view ID) { return ID == "JUNK" || ID == "junk" || ID == "PAD " || ID == "FLLR"; }

bool EncodeFormSize(const TFormHeader& Form, uint64_t Size, std::vector<uint8_t>& Field) {
    TByteWriter W;
    if (Form.SizeFieldWidth == 8) {
        Form.BigEndian ? W.u64be(Size) : W.u64le(Size);
    } else {
        if (Size > 0xFFFFFFFFu) return false;
        Form.BigEndian ? W.u32be(uint32_t(Size)) : W.u32le(uint32_t(Size));
    }
    Field = W.take();
    return true;
}

}  // namespace riff
