#include "tags/region_edit.h"

#include <algorithm>
#include <cstddef>

#include "tags/stream.h"

namespace regionedit {

TFileEdit Narrowed(int64_t Base, const std::vector<uint8_t>& OldBytes, const std::vector<uint8_t>& NewBytes) {
    const size_t common = std::min(OldBytes.size(), NewBytes.size());
    size_t head = 0;
    while (head < common && OldBytes[head] == NewBytes[head]) ++head;
    size_t tail = 0;
    while (tail < common - head && OldBytes[OldBytes.size() - 1 - tail] == NewBytes[NewBytes.size() - 1 - tail]) ++tail;
    TFileEdit e;
    e.Pos = Base + (int64_t)head;
    e.OldLen = (int64_t)(OldBytes.size() - head - tail);
    e.Bytes.assign(NewBytes.begin() + (ptrdiff_t)head, NewBytes.end() - (ptrdiff_t)tail);
    return e;
}

TFileEdit NarrowedInPlace(TStream& Stream, TFileEdit Edit) {
    if (Edit.Delta() != 0 || Edit.OldLen <= 0 || Edit.Pos < 0 || Edit.OldLen > Stream.Size() - Edit.Pos) return Edit;
    if (Stream.Seek(Edit.Pos) != Edit.Pos) return Edit;
    const std::vector<uint8_t> old = Stream.ReadBytes(Edit.OldLen);
    if ((int64_t)old.size() != Edit.OldLen) return Edit;
    TFileEdit narrowed = Narrowed(Edit.Pos, old, Edit.Bytes);
    narrowed.Patches = std::move(Edit.Patches);
    return narrowed;
}

bool Empty(const TFileEdit& Edit) { return Edit.OldLen == 0 && Edit.Bytes.empty() && Edit.Patches.empty(); }

TEditResult Apply(TStream* Stream, const std::string& FileName, const TFileEdit& Edit) {
    if (Empty(Edit)) return TEditResult::Success;
    return Stream ? ApplyEditToStream(*Stream, Edit) : ApplyEditToFile(FileName, Edit, "~");
}

}  // namespace regionedit
