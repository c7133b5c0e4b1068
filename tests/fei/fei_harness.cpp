#include "fei_harness.h"

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

namespace treepak {

namespace feitest {

Harness* current = nullptr;

namespace {

void* Alloc(uint32_t size) {
    Harness& h = *current;
    if (h.allocations++ == h.failAllocationNumber) return nullptr;
    ++h.liveAllocations;
    // Not zeroed: the engine must not depend on fresh memory being clean.
    void* block = std::malloc(size ? size : 1);
    std::memset(block, 0xA5, size);
    return block;
}

void Free(void* block) {
    --current->liveAllocations;
    std::free(block);
}

int Open(const char* path, int flags, int mode) {
    EXPECT_EQ(flags, 0x8000);
    EXPECT_EQ(mode, 0x0180);
    return current->cabinets.count(path) ? current->NewHandle(path, false) : -1;
}

int32_t Read(int handle, void* buffer, uint32_t count) {
    Harness& h = *current;
    ++h.reads;
    auto it = h.handles.find(handle);
    if (it == h.handles.end() || it->second.output) return -1;
    const std::vector<uint8_t>& bytes = h.cabinets[it->second.path];
    size_t& position = it->second.position;
    if (position >= bytes.size()) return 0;
    const size_t n = std::min<size_t>(count, bytes.size() - position);
    std::memcpy(buffer, bytes.data() + position, n);
    position += n;
    return static_cast<int32_t>(n);
}

int32_t Write(int handle, const void* buffer, uint32_t count) {
    Harness& h = *current;
    auto it = h.handles.find(handle);
    if (it == h.handles.end() || !it->second.output) return -1;
    std::vector<uint8_t>& out = h.outputs[handle];
    uint32_t n = count;
    if (h.writeLimit >= 0 && out.size() + n > static_cast<size_t>(h.writeLimit)) {
        n = static_cast<uint32_t>(h.writeLimit - std::min<size_t>(out.size(), h.writeLimit));
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    out.insert(out.end(), bytes, bytes + n);
    return static_cast<int32_t>(n);
}

int Close(int handle) {
    Harness& h = *current;
    if (!h.openHandles.erase(handle)) return -1;
    h.handles.erase(handle);
    return 0;
}

int32_t Seek(int handle, int32_t offset, int origin) {
    Harness& h = *current;
    auto it = h.handles.find(handle);
    if (it == h.handles.end()) return -1;
    const int64_t size = static_cast<int64_t>(h.cabinets[it->second.path].size());
    int64_t base = origin == 0 ? 0 : origin == 1 ? static_cast<int64_t>(it->second.position) : size;
    const int64_t target = base + offset;
    if (target < 0) return -1;
    it->second.position = static_cast<size_t>(target);
    return static_cast<int32_t>(target);
}

int Notify(int kind, FEINotification* n) {
    Harness& h = *current;
    EXPECT_EQ(n->userContext, &h);
    auto text = [](const char* s) { return s ? std::string(s) : std::string(); };
    h.events.push_back({kind, n->value, text(n->text1), text(n->text2), text(n->text3), n->date, n->attributes,
                        n->setId, n->cabinetIndex, n->folderIndex, {}, false, 0, 0, 0});
    return h.reply ? h.reply(kind, n) : h.DefaultReply(kind, n);
}

int Hook(FEIHookRecord* r) {
    Harness& h = *current;
    EXPECT_EQ(r->userContext, &h);
    Event e;
    e.kind = HOOK_EVENT_BASE + r->kind;
    e.reserveNull = r->reserve == nullptr;
    if (r->reserve) e.reserve.assign(r->reserve, r->reserve + r->reserveSize);
    e.setId = r->setId;
    e.folderIndex = r->folderIndex;
    if (r->kind == FEI_HOOK_DATA) {
        e.dataSize = r->dataSize;
        e.complete = r->complete;
        e.partOffset = r->partOffset;
    }
    h.events.push_back(e);
    return h.hookReply ? h.hookReply(r) : 0;
}

}  // namespace

Harness::Harness() : previous_(current) { current = this; }

Harness::~Harness() {
    Destroy();
    EXPECT_EQ(liveAllocations, 0u) << "engine leaked memory";
    EXPECT_TRUE(openHandles.empty()) << "engine left handles open";
    current = previous_;
}

int Harness::DefaultReply(int kind, FEINotification* n) {
    if (kind == FEI_NOTIFY_COPY_FILE) {
        const int handle = NewHandle(n->text1, true);
        outputs[handle];
        return handle;
    }
    if (kind == FEI_NOTIFY_CLOSE_FILE) {
        extracted[n->text1] = outputs[n->handle];
        Close(n->handle);
        return 1;
    }
    return 0;
}

int Harness::NewHandle(const std::string& path, bool output) {
    handles[nextHandle] = OpenFile{path, 0, output};
    openHandles.insert(nextHandle);
    return nextHandle++;
}

int Harness::Extract(const std::string& name, const std::string& path, bool withHook) {
    if (!context) {
        context = FEICreate(Alloc, Free, Open, Read, Write, Close, Seek, 1, &error);
        if (!context) return 0;
    }
    return FEIExtract(context, name.c_str(), path.c_str(), 0, Notify, withHook ? Hook : nullptr,
                      this);
}

void Harness::Destroy() {
    const int destroyed = context ? FEIDestroy(context) : 1;
    EXPECT_EQ(destroyed, 1);
    context = nullptr;
}

std::vector<int> Harness::Kinds() const {
    std::vector<int> kinds;
    for (const Event& e : events) kinds.push_back(e.kind);
    return kinds;
}

std::vector<const Event*> Harness::OfKind(int kind) const {
    std::vector<const Event*> found;
    for (const Event& e : events)
        if (e.kind == kind) found.push_back(&e);
    return found;
}

}  // namespace feitest

}  // namespace treepak
