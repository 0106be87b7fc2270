#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tablora {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// Byte source the readers load from. Read() may return fewer bytes than asked for; ReadBuffer()
// turns a short read into EReadError, so a reader never works on bytes that are not there.
class TStream {
 public:
  virtual ~TStream() = default;

  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  // Returns the new position; positions are clamped to 0..Size().
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size() = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  // Bytes from the current position to the end.
  int64_t Remaining() { return Size() - Position(); }

  void ReadBuffer(void* buffer, std::size_t count);
  uint8_t ReadByte();
  uint16_t ReadLE16();
  uint32_t ReadLE32();
  uint16_t ReadBE16();
  uint32_t ReadBE32();
};

// Read-only view over bytes owned by someone else.
class TBufferStream : public TStream {
 public:
  TBufferStream(const void* data, std::size_t size)
      : data_(static_cast<const uint8_t*>(data)), size_(size) {}

  std::size_t Read(void* buffer, std::size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(size_); }

  const uint8_t* Data() const { return data_; }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// Growable stream that owns its bytes.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  std::size_t Read(void* buffer, std::size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }

  void Write(const void* data, std::size_t count);
  // Fills the stream with exactly count bytes from source (EReadError on a short source).
  void CopyFrom(TStream& source, std::size_t count);
  void Clear();

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::vector<uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  std::size_t position_ = 0;
};

// A file opened for reading. Failure to open raises EFOpenError naming the file and the reason;
// anything but a regular file (after following links) fails so, without waiting on it. Paths of
// any length open.
class TFileStream : public TStream {
 public:
  explicit TFileStream(const std::string& path);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  // The open descriptor, for mapping the file's bytes.
  int Handle() const { return fd_; }

 private:
  int fd_ = -1;
};

// Reads a whole file into memory.
std::vector<uint8_t> ReadFileBytes(const std::string& path);

}  // namespace tablora
