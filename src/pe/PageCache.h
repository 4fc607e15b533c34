// PageCache: a few pages of a file, read when the header readers first touch them. Plain portable C++.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pefile {

// Where bytes come from when they are not all in memory: a file read at offsets.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads `count` bytes at `offset` (all within Size()); false when they could not be read.
    virtual bool Read(std::uint64_t offset, unsigned char* into, std::size_t count) = 0;
};

// Bytes already in memory as a source (not owned): for holding the paged reading against the whole.
class MemoryBytes final : public ByteSource {
public:
    MemoryBytes(const unsigned char* data, std::size_t size) : data_(data), size_(data == nullptr ? 0 : size) {}
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, unsigned char* into, std::size_t count) override {
        if (offset > size_ || count > size_ - offset) return false;
        std::copy(data_ + offset, data_ + offset + count, into);
        return true;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
};

// A few pages of a source, read when first touched and kept while they are used, so that a header
// check reads only the pages holding what it looks at. Its buffers serve file after file.
class PageCache {
public:
    static constexpr std::size_t kPageSize = 4096;
    static constexpr std::size_t kPages = 4;

    explicit PageCache(std::size_t pageSize = kPageSize) : pageSize_(pageSize == 0 ? 1 : pageSize) {
        for (Slot& slot : slots_) slot.bytes.resize(pageSize_);
    }
    // Starts on another source; nothing of the last one is kept.
    void Reset(ByteSource& source) {
        source_ = &source;
        size_ = source.Size();
        failed_ = false;
        for (Slot& slot : slots_) slot.page = kNoPage;
    }
    // Lets go of the source (it may go now); nothing of it is kept.
    void Detach() {
        source_ = nullptr;
        size_ = 0;
        for (Slot& slot : slots_) slot.page = kNoPage;
    }
    std::uint64_t Size() const { return size_; }
    // The byte at an offset below Size(); 0 when its page could not be read (see Failed).
    unsigned char At(std::uint64_t offset) {
        const std::uint64_t page = offset / pageSize_;
        Slot* slot = nullptr;
        for (Slot& candidate : slots_) {
            if (candidate.page == page) slot = &candidate;
        }
        if (slot == nullptr) {
            slot = &*std::min_element(slots_.begin(), slots_.end(),
                                      [](const Slot& a, const Slot& b) { return a.used < b.used; });
            const std::uint64_t start = page * pageSize_;
            const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(pageSize_, size_ - start));
            if (source_ == nullptr || !source_->Read(start, slot->bytes.data(), count)) {
                failed_ = true;
                slot->page = kNoPage;
                return 0;
            }
            slot->page = page;
        }
        slot->used = ++clock_;
        return slot->bytes[offset - page * pageSize_];
    }
    // Some page could not be read: what was read of it is no answer.
    bool Failed() const { return failed_; }

private:
    static constexpr std::uint64_t kNoPage = ~std::uint64_t{0};
    struct Slot {
        std::uint64_t page = kNoPage;
        std::uint64_t used = 0;
        std::vector<unsigned char> bytes;
    };
    std::size_t pageSize_;
    ByteSource* source_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint64_t clock_ = 0;
    bool failed_ = false;
    std::array<Slot, kPages> slots_;
};

}  // namespace pefile
