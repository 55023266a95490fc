// Random-access input for the archive reader: an archive file or a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lzh {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly size bytes at offset; false when they are not all there.
    virtual bool Read(uint64_t offset, void* buffer, size_t size) const = 0;
};

class MemorySource : public ByteSource {
  public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool Read(uint64_t offset, void* buffer, size_t size) const override;

  private:
    const uint8_t* data_;
    size_t size_;
};

class FileSource : public ByteSource {
  public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    // False when the path is not a readable plain file.
    bool Open(const std::string& path);
    uint64_t Size() const override { return size_; }
    bool Read(uint64_t offset, void* buffer, size_t size) const override;

  private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

}  // namespace lzh
