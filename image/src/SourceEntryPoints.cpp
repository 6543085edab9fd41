#include "EntryFrame.h"
#include "MemoryBlock.h"

using namespace img;

extern "C" SourceHandle openFileSource(const char* path) {
    return frameS([&](ThreadState& state) -> SourceHandle {
        auto* record = reinterpret_cast<SourceRecord*>(allocateGlobal(sizeof(SourceRecord)));
        if (record == nullptr) {
            state.lastError = kNoMemory;
            return nullptr;
        }
        if (!CImgIO(record).openByName(path)) {
            GlobalFree(record);
            state.lastError = kCannotOpen;
            return nullptr;
        }
        return record;
    });
}

extern "C" int seekSource(SourceHandle src, long offset, int origin) {
    return frameS([&](ThreadState& state) {
        if (src == nullptr) {
            state.lastError = kBadArgument;
            return 0;
        }
        return CImgIO(static_cast<SourceRecord*>(src)).seek(offset, origin) ? 1 : 0;
    });
}

extern "C" int closeSource(SourceHandle src) {
    return frameS([&](ThreadState& state) {
        if (src == nullptr) {
            state.lastError = kBadArgument;
            return 0;
        }
        CImgIO io(static_cast<SourceRecord*>(src));
        unsigned at = 0;
        if (io.record()->stream != nullptr) io.position(&at);
        io.close();
        GlobalFree(src);
        return static_cast<int>(at);
    });
}
