#pragma once
// Reader of a 64-bit Portable Executable image as it lies in memory (PE32+):
// headers, sections, exports, debug directory and resources. The core reads a
// bounded view (base, size), so it works on a loaded module (pe_image_win)
// and on images built by tests alike; no read leaves the view.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/byte_view.h"

namespace kv {

inline constexpr uint16_t kPe32PlusMagic = 0x20B;
// Signature, file header and the PE32+ optional header with its 16 directories.
inline constexpr uint64_t kPe32PlusNtHeadersSize = 4 + 20 + 240;
inline constexpr uint32_t kPeDebugEntrySize = 28;
inline constexpr uint32_t kImageDirectoryEntryExport = 0;
inline constexpr uint32_t kImageDirectoryEntryImport = 1;
inline constexpr uint32_t kImageDirectoryEntryResource = 2;
inline constexpr uint32_t kImageDirectoryEntryDebug = 6;

// Offset of the NT headers in the image: "MZ", a nonzero offset at byte 60
// and the PE signature, with the whole PE32+ header size inside the view.
std::optional<uint64_t> PeMapImgNtHeaders(ByteView image);
// Offset of the first section header for the NT headers at ntHeaders.
std::optional<uint64_t> PeMapImgSections(ByteView image, uint64_t ntHeaders);
// Offset of the first section header whose 8-byte name equals name (case-sensitive).
std::optional<uint64_t> PeMapImgFindSection(ByteView image, uint64_t ntHeaders, std::string_view name);

struct TDiagPeSectionHeader {
  std::string name;  // the first 8 characters, up to a zero
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t sizeOfRawData = 0;
  uint32_t pointerToRawData = 0;
  uint32_t characteristics = 0;
  uint64_t headerOffset = 0;  // of the 40-byte header in the image
};

struct TDiagPeDirectoryEntry {
  uint32_t virtualAddress = 0;
  uint32_t size = 0;
};

struct TDiagPeDebugEntry {
  uint32_t characteristics = 0;
  uint32_t timeDateStamp = 0;
  uint16_t majorVersion = 0;
  uint16_t minorVersion = 0;
  uint32_t type = 0;
  uint32_t sizeOfData = 0;
  uint32_t addressOfRawData = 0;
  uint32_t pointerToRawData = 0;
};

struct TDiagPeExportFuncItem {
  uint32_t address = 0;  // relative virtual address
  std::optional<std::string> forwardedName;
  uint16_t hint = 0;     // position in the name table
  std::string name;
  uint16_t ordinal = 0;  // function index + the directory's base
};

enum class TDiagPeExportSort { kName, kOrdinal, kHint, kAddress, kForwardedName, kAddressOrForward, kSectionName };

class TDiagPeImage;

class TDiagPeExportFuncList {
 public:
  const std::vector<TDiagPeExportFuncItem>& Items() const noexcept { return items_; }
  size_t Count() const noexcept { return items_.size(); }
  uint32_t Base() const noexcept { return base_; }
  bool HasForwards() const noexcept { return hasForwards_; }
  // Sorts unless already sorted this way.
  void SortList(TDiagPeExportSort kind, bool descending);

 private:
  friend class TDiagPeImage;
  const TDiagPeImage* image_ = nullptr;
  std::vector<TDiagPeExportFuncItem> items_;
  uint32_t base_ = 0;
  bool hasForwards_ = false;
  std::optional<std::pair<TDiagPeExportSort, bool>> sortedBy_;
};

// The two levels of the resource directory that name lookups use.
class TDiagPeRootResourceList {
 public:
  // The entry of name within the first top-level entry of the type (types from
  // 25 on count as 25); names are Unicode names in ANSI or decimal identifiers.
  bool FindResource(uint32_t type, std::string_view name) const;

 private:
  friend class TDiagPeImage;
  struct Entry {
    uint32_t type = 0;
    std::vector<std::string> names;
  };
  std::vector<Entry> types_;
};

class TDiagPeImage {
 public:
  enum Status { kNotLoaded = 0, kOk = 1, kNotPe = 2, kFileNotFound = 3, kSystemError = 4 };

  explicit TDiagPeImage(bool noExceptions = true) : noExceptions_(noExceptions) {}
  TDiagPeImage(const TDiagPeImage&) = delete;
  TDiagPeImage& operator=(const TDiagPeImage&) = delete;
  virtual ~TDiagPeImage() = default;

  // Attaches to an image in memory; status kNotPe when its headers are not
  // those of a PE32+ image (EDiagError "This is not a PE format" without the
  // no-exceptions flag).
  void AttachView(ByteView image, const std::string& fileName);
  // Attaches to a module loaded in this process (pe_image_win.cpp).
  void AttachLoadedModule(const void* moduleBase);

  Status GetStatus() const noexcept { return status_; }
  bool StatusOK() const noexcept { return status_ == kOk; }
  bool Attached() const noexcept { return attached_; }
  const std::string& FileName() const noexcept { return fileName_; }
  ByteView Image() const noexcept { return image_; }
  uint64_t NtHeaders() const noexcept { return ntHeaders_; }
  uint64_t ImageBase() const noexcept { return imageBase_; }
  uint32_t SizeOfImage() const noexcept { return sizeOfImage_; }
  uint16_t Characteristics() const noexcept { return characteristics_; }
  bool IsSystemImage() const noexcept { return (characteristics_ & 0x1000) != 0; }

  TDiagPeDirectoryEntry DirectoryEntry(uint32_t index) const;
  // The directory's bytes, when they lie wholly within the image.
  std::optional<ByteView> DirectoryEntryToData(uint32_t index) const;
  // The address of an RVA inside the image, or null outside it.
  const uint8_t* RvaToVa(uint64_t rva) const;

  const std::vector<TDiagPeSectionHeader>& Sections() const noexcept { return sections_; }
  // The section whose name equals name, ignoring case.
  const TDiagPeSectionHeader* GetSectionHeader(std::string_view name) const;
  // The name of the section at that place in header order; empty past the last.
  std::string GetSectionName(size_t index) const;
  // The section holding the RVA (its raw size, or the virtual size when that is 0).
  const TDiagPeSectionHeader* RvaToSection(uint64_t rva) const;
  // The name of the section holding each item's address (as RvaToSection
  // finds it; empty for none), all found in one pass over the sections.
  std::vector<std::string_view> SectionNamesOf(const std::vector<TDiagPeExportFuncItem>& items) const;
  // Addresses looked up in the sections so far (RvaToSection, SectionNamesOf):
  // the measure of a sort by section name, which must not grow with its comparisons.
  uint64_t SectionLookups() const noexcept { return sectionLookups_; }

  TDiagPeExportFuncList& ExportList();
  const std::vector<TDiagPeDebugEntry>& DebugList();
  const TDiagPeRootResourceList& ResourceList();

 protected:
  virtual void AfterOpen() {}
  void Clear();

 private:
  void BuildExports(TDiagPeExportFuncList& list) const;
  void BuildDebugList(std::vector<TDiagPeDebugEntry>& list) const;
  void BuildResources(TDiagPeRootResourceList& list) const;

  bool noExceptions_;
  Status status_ = kNotLoaded;
  bool attached_ = false;
  std::string fileName_;
  ByteView image_;
  uint64_t ntHeaders_ = 0;
  uint64_t imageBase_ = 0;
  uint32_t sizeOfImage_ = 0;
  uint16_t characteristics_ = 0;
  std::vector<TDiagPeSectionHeader> sections_;
  mutable uint64_t sectionLookups_ = 0;
  std::unique_ptr<TDiagPeExportFuncList> exports_;
  std::unique_ptr<std::vector<TDiagPeDebugEntry>> debug_;
  std::unique_ptr<TDiagPeRootResourceList> resources_;
};

// An image reader that also tells run-time packages and images of the
// compiler's own kind apart, by their RCDATA resources.
class TDiagPeQarnImage : public TDiagPeImage {
 public:
  using TDiagPeImage::TDiagPeImage;
  bool IsPackage() const noexcept { return isPackage_; }
  bool IsCompilerImage() const noexcept { return isCompilerImage_; }

 protected:
  void AfterOpen() override;

 private:
  bool isPackage_ = false;
  bool isCompilerImage_ = false;
};

// RVAs of the import address table entries of the named module (any of its
// descriptors, name compared ignoring case) that hold the address from.
std::vector<uint64_t> FindImportEntries(ByteView image, std::string_view moduleName, uint64_t from);

// Result of PeQarnUnmangleName.
enum class TDiagUnmangleResult { kOk = 0, kNotMangled = 1, kMicrosoft = 2, kError = 3 };
enum class TDiagUnmangleKind { kData = 0, kFunction, kConstructor, kDestructor, kRtti, kVTable };
inline constexpr uint32_t kUnmangleQualified = 1;
inline constexpr uint32_t kUnmangleLinkProc = 2;

struct TDiagUnmangleInfo {
  TDiagUnmangleKind kind = TDiagUnmangleKind::kData;
  uint32_t modifiers = 0;
};

// Unmangles a run-time package's exported name ("@Unit@Class@Method$qqrv").
TDiagUnmangleResult PeQarnUnmangleName(std::string_view name, std::string& unmangled, TDiagUnmangleInfo& description,
                                       int& basePos);

}  // namespace kv
