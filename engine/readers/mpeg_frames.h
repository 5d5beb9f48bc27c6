#pragma once
// MPEG audio streams (MPEG-1, MPEG-2 and MPEG-2.5, Layers I to III): one
// frame header decoded, and the analysis that finds the first frame of a file
// behind its ID3v2 tag, reads a Xing header and computes length and bit rate.
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "engine/readers/byte_source.h"
#include "engine/readers/id3v1.h"
#include "engine/readers/id3v2.h"

namespace kv {

// One four-byte frame header.
struct TMpegFrameHdr {
  std::array<uint8_t, 4> Bytes{};  // as read
  bool Ok = false;                 // synchronised, known version and layer, allowed rates and mode
  int Version = 0;                 // 1 MPEG-1, 2 MPEG-2, 3 MPEG-2.5, 0 reserved
  int BitRate = -1;                // kbit/s; 0 free format; -1 forbidden index, version or layer
  int SampleRate = -1;             // Hz; -1 reserved index or version
  int FrameLen = 0;                // bytes, padding included; 4 when a rate is unknown

  // Decodes the first four bytes; false (and not Ok) when fewer are given.
  bool Load(std::span<const uint8_t> bytes);
  // Offset of the first valid header in `bytes` (left loaded), -1 when none.
  int64_t Locate(std::span<const uint8_t> bytes);
  int GetFrameLen() const { return FrameLen; }

  int Layer() const { return (4 - ((Bytes[1] >> 1) & 3)) & 3; }  // 1..3, 0 reserved
  int BitRateIndex() const { return Bytes[2] >> 4; }
  int SampleRateIndex() const { return (Bytes[2] >> 2) & 3; }
  bool Padding() const { return (Bytes[2] & 2) != 0; }
  int PaddingLen() const { return Padding() ? (Layer() == 1 ? 4 : 1) : 0; }
  int ChannelMode() const { return Bytes[3] >> 6; }  // 0 stereo, 1 joint, 2 dual, 3 mono
  bool Sync() const { return Bytes[0] == 0xFF && (Bytes[1] & 0xE0) == 0xE0; }
  int64_t BitRateBps() const { return int64_t{BitRate} * 1000; }
  int SamplesPerFrame() const { return Version == 1 ? 1152 : 576; }  // as the Xing length uses it
};

// The analysis of one MPEG file: where its audio starts, its Xing header and
// the derived length and bit rate. Reads the ID3v2 header and frame headers,
// at most about 10 KB of frame search, one Xing header and the last 128 bytes.
struct TAudInfo {
  static constexpr uint64_t kSearchLimit = 10240;  // bytes searched past the ID3v2 tag

  int64_t FirstFramePos = -1;  // from the start of the analysed data; -1 when none
  bool Vbr = false, Xing = false;
  uint32_t XingFlags = 0, XingFrames = 0, XingBytes = 0, XingQuality = 0;
  std::array<uint8_t, 100> XingToc{};
  TID3v1Tag Id3v1;
  TID3v2Tag Id3v2;
  int64_t Duration = -1;    // milliseconds
  int64_t BitRate = 0;      // bit/s
  int64_t FrameCount = -1;
  int64_t AudioBytes = -1;
  int64_t FileSize = -1;    // of the whole source read by LoadFromSource
  int32_t FileDate = -1;    // of that file, as ByteSource::FileDate gives it
  uint32_t FileAttributes = 0;
  TMpegFrameHdr Header;     // of the first frame

  // Resets every result.
  void ClearInfo() { *this = TAudInfo{}; }
  // Analyses `size` bytes (clipped to the source) from offset `start`.
  void LoadFromStream(ByteSource& src, uint64_t start, uint64_t size);
  // Analyses the whole source and records its size, date and attributes.
  void LoadFromSource(ByteSource& src);
  // Resets; unless the path is empty once blanks and control characters are
  // trimmed from its ends, opens the file (others may read and write) and analyses all
  // of it as LoadFromSource. Raises EFOpenError when it cannot be opened.
  void LoadFromFile(const std::wstring& path);

  // The record's stream integers; all 0 when no first frame was found.
  bool HasStream() const { return Header.Ok && FirstFramePos >= 0; }
  int32_t LengthSeconds() const;  // Duration / 1000, rounded
  int32_t BitRateKbps() const;    // BitRate / 1000, rounded
  int32_t SampleRateHz() const { return HasStream() ? Header.SampleRate : 0; }
  int32_t ChannelCode() const { return HasStream() ? Header.ChannelMode() + 1 : 0; }
  int32_t VersionCode() const { return HasStream() ? Header.Version : 0; }
  int32_t LayerCode() const { return HasStream() ? Header.Layer() : 0; }
};

}  // namespace kv
