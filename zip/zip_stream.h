#pragma once
// The streams of the zip library: the abstract stream, a memory stream, and
// the buffered stream through which archives are read byte by byte cheaply.
// Positions and sizes are 64-bit. Byte-level: file streams live behind
// TZipFileSystem (zip_file_system.h).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kv {

enum class TSeekOrigin { Beginning = 0, Current = 1, End = 2 };

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns how many were read (fewer only at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes up to count bytes; returns how many were taken.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();
  // Truncates or extends; streams that cannot throw EZipStreamError.
  virtual void SetSize(int64_t size);
  // Pushes written data to the device (file streams: to the disk).
  virtual void Flush() {}
  // The system's handle of a file stream (a HANDLE on Windows); null for others.
  virtual void* Handle() { return nullptr; }

  int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::Beginning); }
  // Exactly count bytes or EZipReadError / EZipWriteError.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  void WriteBuffer(std::span<const uint8_t> bytes) { WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size())); }
  // Copies count bytes from source's position (count 0: the whole source
  // from its start); returns the count copied. A short source throws EZipReadError.
  int64_t CopyFrom(TStream& source, int64_t count);
};

// A growable block of bytes.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  void SetSize(int64_t size) override;

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::vector<uint8_t>& Bytes() { return bytes_; }
  std::string Text() const { return std::string(bytes_.begin(), bytes_.end()); }

 private:
  std::vector<uint8_t> bytes_;
  int64_t pos_ = 0;
};

// Size of every buffered stream's buffer.
inline constexpr int64_t kStreamBufferSize = 8192;

// A buffer in front of another stream. Reads fill the buffer ahead; writes
// collect in it. Pending writes reach the wrapped stream on Flush, on a seek
// to another position or on a read; the destructor does NOT write them
// (callers flush, so that a failed write is reported, never lost silently).
class TS_BufferStream : public TStream {
 public:
  // Wraps a stream the caller keeps alive.
  explicit TS_BufferStream(TStream& wrapped);
  // Wraps and owns a stream.
  explicit TS_BufferStream(std::unique_ptr<TStream> wrapped);
  ~TS_BufferStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Beginning: offset; Current: logical position + offset; End: the real size
  // (the larger of the logical position and the wrapped size) less |offset|.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;
  // Writes pending data (EZipWriteError when the wrapped stream takes fewer)
  // and flushes the wrapped stream.
  void Flush() override;
  // Puts one byte back before the read position ("Putback overflow" at the
  // start of the buffer).
  virtual void PutBack(uint8_t byte);

  TStream& Wrapped() { return *wrapped_; }

 protected:
  virtual bool FillBuffer();
  virtual bool FlushBuffer();
  // Called after each fill and each flush of the buffer.
  virtual void AfterFillBuffer() {}
  virtual void AfterFlushBuffer() {}

 private:
  int64_t LogicalPosition();

  std::unique_ptr<TStream> owned_;
  TStream* wrapped_;
  std::vector<uint8_t> buffer_;
  size_t cur_ = 0;  // read or write pointer inside buffer_
  size_t end_ = 0;  // end of valid data (read state) or of written data
  enum class State : uint8_t { Empty, ReadAhead, Unwritten } state_ = State::Empty;
};

}  // namespace kv
