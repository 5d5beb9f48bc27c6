#include "zip/zip_stream.h"

#include <algorithm>
#include <cstring>

#include "zip/zip_errors.h"
#include "zip/zip_support.h"

namespace kv {

int64_t TStream::Size() {
  const int64_t pos = Position();
  const int64_t size = Seek(0, TSeekOrigin::End);
  Seek(pos, TSeekOrigin::Beginning);
  return size;
}

void TStream::SetSize(int64_t) { throw EZipStreamError("Stream cannot change its size"); }

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EZipReadError();
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EZipWriteError();
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(count, 65536)));
  int64_t left = count;
  while (left > 0) {
    const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buf.size()));
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= n;
  }
  return count;
}

// ------------------------------------------------------------ memory --

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || pos_ >= size) return 0;
  const int64_t n = std::min(count, size - pos_);
  std::memcpy(buffer, bytes_.data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (pos_ + count > Size()) bytes_.resize(static_cast<size_t>(pos_ + count));
  std::memcpy(bytes_.data() + pos_, buffer, static_cast<size_t>(count));
  pos_ += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t pos = offset;
  if (origin == TSeekOrigin::Current) pos = pos_ + offset;
  if (origin == TSeekOrigin::End) pos = Size() + offset;
  if (pos < 0) throw EZipStreamError(StreamMessage(kStrSeekError));
  pos_ = pos;
  return pos_;
}

void TMemoryStream::SetSize(int64_t size) {
  bytes_.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
  pos_ = std::min(pos_, size);
}

// ---------------------------------------------------------- buffered --

TS_BufferStream::TS_BufferStream(TStream& wrapped)
    : wrapped_(&wrapped), buffer_(static_cast<size_t>(kStreamBufferSize)) {}

TS_BufferStream::TS_BufferStream(std::unique_ptr<TStream> wrapped)
    : owned_(std::move(wrapped)), wrapped_(owned_.get()), buffer_(static_cast<size_t>(kStreamBufferSize)) {}

TS_BufferStream::~TS_BufferStream() = default;

bool TS_BufferStream::FillBuffer() {
  const int64_t got = wrapped_->Read(buffer_.data(), kStreamBufferSize);
  cur_ = 0;
  end_ = static_cast<size_t>(std::max<int64_t>(got, 0));
  state_ = end_ > 0 ? State::ReadAhead : State::Empty;
  AfterFillBuffer();
  return end_ > 0;
}

bool TS_BufferStream::FlushBuffer() {
  const int64_t pending = static_cast<int64_t>(cur_);
  const int64_t written = pending > 0 ? wrapped_->Write(buffer_.data(), pending) : 0;
  cur_ = end_ = 0;
  state_ = State::Empty;
  AfterFlushBuffer();
  return written == pending;
}

int64_t TS_BufferStream::LogicalPosition() {
  const int64_t under = wrapped_->Position();
  if (state_ == State::ReadAhead) return under - static_cast<int64_t>(end_ - cur_);
  if (state_ == State::Unwritten) return under + static_cast<int64_t>(cur_);
  return under;
}

int64_t TS_BufferStream::Read(void* buffer, int64_t count) {
  if (count < 1) return 0;
  if (state_ == State::Unwritten && !FlushBuffer()) throw EZipWriteError();
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    if (state_ != State::ReadAhead || cur_ == end_) {
      if (!FillBuffer()) break;
    }
    const size_t n = static_cast<size_t>(std::min<int64_t>(count - done, static_cast<int64_t>(end_ - cur_)));
    std::memcpy(out + done, buffer_.data() + cur_, n);
    cur_ += n;
    done += static_cast<int64_t>(n);
  }
  return done;
}

int64_t TS_BufferStream::Write(const void* buffer, int64_t count) {
  if (count < 1) return 0;
  if (state_ == State::ReadAhead) {
    wrapped_->Seek(LogicalPosition(), TSeekOrigin::Beginning);
    cur_ = end_ = 0;
    state_ = State::Empty;
  }
  const auto* in = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    if (cur_ == buffer_.size() && !FlushBuffer()) break;
    const size_t n = std::min<size_t>(static_cast<size_t>(count - done), buffer_.size() - cur_);
    std::memcpy(buffer_.data() + cur_, in + done, n);
    cur_ += n;
    end_ = cur_;
    state_ = State::Unwritten;
    done += static_cast<int64_t>(n);
  }
  return done;
}

int64_t TS_BufferStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t logical = LogicalPosition();
  int64_t pos = 0;
  switch (origin) {
    case TSeekOrigin::Beginning: pos = offset; break;
    case TSeekOrigin::Current: pos = logical + offset; break;
    case TSeekOrigin::End: {
      const int64_t real = std::max(logical, wrapped_->Size());
      pos = real - (offset < 0 ? -offset : offset);
      break;
    }
    default: throw EZipStreamError(StreamMessage(kStrInvalidSeekOrigin, static_cast<int>(origin)));
  }
  if (pos < 0) throw EZipStreamError(StreamMessage(kStrSeekError));
  if (pos != logical) {
    if (state_ == State::Unwritten && !FlushBuffer()) throw EZipStreamError(StreamMessage(kStrSeekError));
    wrapped_->Seek(pos, TSeekOrigin::Beginning);
    cur_ = end_ = 0;
    state_ = State::Empty;
  }
  return pos;
}

int64_t TS_BufferStream::Size() { return std::max(LogicalPosition(), wrapped_->Size()); }

void TS_BufferStream::SetSize(int64_t size) {
  const int64_t pos = LogicalPosition();
  Flush();
  cur_ = end_ = 0;
  state_ = State::Empty;
  wrapped_->SetSize(size);
  wrapped_->Seek(std::min(pos, size), TSeekOrigin::Beginning);
}

void TS_BufferStream::Flush() {
  if (state_ == State::Unwritten && !FlushBuffer()) throw EZipWriteError();
  wrapped_->Flush();
}

void TS_BufferStream::PutBack(uint8_t byte) {
  if (state_ != State::ReadAhead || cur_ == 0) throw EZipStreamError(StreamMessage(kStrPutbackOverflow));
  buffer_[--cur_] = byte;
}

}  // namespace kv
