#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <type_traits>
#include <utility>

namespace names {

// A growing array of plain values for the big lists of a folder listing. Once it is
// large, its memory comes straight from the system in pages, and growing remaps those
// pages to a larger range instead of copying them: a million names grow their buffers
// without ever stopping to copy megabytes, and pages are only touched when written.
// Small arrays live on the heap as usual.
template <typename T> class PageVector {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    PageVector() = default;
    PageVector(const PageVector& other) {
        reserve(other.size_);
        copyFrom(other.data_, other.size_);
        size_ = other.size_;
    }
    PageVector(PageVector&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)), mapped_(std::exchange(other.mapped_, 0)) {}
    PageVector& operator=(PageVector other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        std::swap(mapped_, other.mapped_);
        return *this;
    }
    ~PageVector() { release(); }

    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] std::size_t capacity() const { return capacity_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    T* data() { return data_; }
    const T* data() const { return data_; }
    T* begin() { return data_; }
    T* end() { return data_ + size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }

    void push_back(const T& value) {
        if (size_ == capacity_) {
            grow(size_ + 1);
        }
        data_[size_++] = value;
    }
    // Adds `count` values left for the caller to write, and returns where they start.
    T* extend(std::size_t count) {
        if (capacity_ - size_ < count) {
            grow(size_ + count);
        }
        T* const added = data_ + size_;
        size_ += count;
        return added;
    }
    void append(const T* values, std::size_t count) {
        if (count != 0) {
            std::memcpy(static_cast<void*>(extend(count)), values, count * sizeof(T));
        }
    }
    // Keeps the first `count` values, count <= size().
    void truncate(std::size_t count) { size_ = std::min(size_, count); }
    void clear() { size_ = 0; }
    void reserve(std::size_t count) {
        if (count > capacity_) {
            setCapacity(count);
        }
    }
    // Gives the whole pages that hold only values from `first` to `last` back to the
    // system, once it is large; the values there read as zero afterwards.
    void discard(std::size_t first, std::size_t last) {
        if (mapped_ == 0) {
            return;
        }
        const std::size_t from = pageRound(first * sizeof(T));
        const std::size_t to = last * sizeof(T) / kPage * kPage;
        if (from < to) {
            ::madvise(reinterpret_cast<char*>(data_) + from, to - from, MADV_DONTNEED);
        }
    }
    // Gives back what the values do not use (whole pages, once it is large).
    void shrink_to_fit() {
        if (size_ == 0) {
            release();
        } else if (size_ < capacity_) {
            setCapacity(size_);
        }
    }

private:
    // Arrays from this size on are kept in pages of their own.
    static constexpr std::size_t kPagedFrom = std::size_t{1} << 20;
    static constexpr std::size_t kPage = 4096;

    static std::size_t pageRound(std::size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }

    void grow(std::size_t needed) {
        setCapacity(std::max({needed, capacity_ * 2, std::size_t{16}}));
    }

    void copyFrom(const T* values, std::size_t count) {
        if (count != 0) {
            std::memcpy(static_cast<void*>(data_), values, count * sizeof(T));
        }
    }

    void setCapacity(std::size_t count) {
        const std::size_t kept = std::min(size_, count) * sizeof(T);
        std::size_t bytes = count * sizeof(T);
        const bool paged = bytes >= kPagedFrom;
        if (paged) {
            bytes = pageRound(bytes);
        }
        void* memory = nullptr;
        if (paged && mapped_ != 0) {
            memory = ::mremap(data_, mapped_, bytes, MREMAP_MAYMOVE);
        } else if (paged) {
            memory =
                ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (memory != MAP_FAILED && kept != 0) {
                std::memcpy(memory, data_, kept);
            }
            if (memory != MAP_FAILED) {
                std::free(data_);
            }
        } else if (mapped_ != 0) {
            memory = std::malloc(bytes);
            if (memory != nullptr) {
                std::memcpy(memory, data_, kept);
                ::munmap(data_, mapped_);
            }
        } else {
            memory = std::realloc(data_, bytes);
        }
        if (memory == nullptr || memory == MAP_FAILED) {
            throw std::bad_alloc();
        }
        data_ = static_cast<T*>(memory);
        mapped_ = paged ? bytes : 0;
        capacity_ = bytes / sizeof(T);
        size_ = std::min(size_, capacity_);
    }

    void release() {
        if (mapped_ != 0) {
            ::munmap(data_, mapped_);
        } else {
            std::free(data_);
        }
        data_ = nullptr;
        size_ = 0;
        capacity_ = 0;
        mapped_ = 0;
    }

    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t mapped_ = 0; // bytes of pages held, or 0 while on the heap
};

} // namespace names
