// The 7-8 tables kept on disk: one file of a 64-byte header (magic, format version, the two
// patterns, their sizes and a checksum of everything) followed by the eight-tile and the
// seven-tile table. Loaded by mapping it and checking it whole; built anew when it is missing,
// damaged or foreign, and written atomically.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "parallel/worker_pool.h"
#include "pattern/additive_database.h"
#include "pattern/pattern_database.h"
#include "platform/files.h"

inline constexpr char kAdditiveTablesFileName[] = "additive-7-8.tables";
inline constexpr std::uint32_t kAdditiveTablesVersion = 1;
inline constexpr std::size_t kAdditiveHeaderBytes = 64;
inline constexpr char kAdditiveMemoryMessage[] = "Failed to allocate memory for the 7-8 tables.";
inline constexpr std::size_t kAdditiveFileBytes = kAdditiveHeaderBytes +
                                                  placementCount(kEightTiles.tileCount) +
                                                  placementCount(kSevenTiles.tileCount);

// The two patterns a file holds, and its name. Tests use small ones.
struct AdditiveLayout {
  AdditivePattern first = kEightTiles;
  AdditivePattern second = kSevenTiles;
  const char* fileName = kAdditiveTablesFileName;
  std::size_t fileBytes() const {
    return kAdditiveHeaderBytes + placementCount(first.tileCount) +
           placementCount(second.tileCount);
  }
};

// The two tables, from the file or from memory; empty until loaded.
class AdditiveTableSet {
 public:
  const std::uint8_t* first() const { return bytes_ + kAdditiveHeaderBytes; }
  const std::uint8_t* second() const { return first() + firstSize_; }
  // For the 7-8 layout.
  const std::uint8_t* eight() const { return first(); }
  const std::uint8_t* seven() const { return second(); }
  bool loaded() const { return bytes_ != nullptr; }
  bool fromFile() const { return view_.data() != nullptr; }

 private:
  friend struct AdditiveTableLoader;
  platform::FileView view_;
  Table<std::uint8_t> memory_;           // owned when built in memory
  const std::uint8_t* bytes_ = nullptr;  // the whole image, header first
  std::size_t firstSize_ = 0;
};

struct AdditiveTableOptions {
  std::string directory;  // empty: platform::cacheDirectory("zelvar")
  std::function<void(std::string_view line)> notice;
  std::function<void(double share)> progress;
  AdditiveLayout layout;
};

// Fills `tables` from the file in the folder, or builds them on all of `workers` and writes
// the file there (or keeps them in memory where it cannot be written), telling `notice` one
// line for each such step. Returns an empty string on success, else why the tables are not
// there (memory ran out). The callbacks run on the calling thread; what they throw propagates.
std::string loadAdditiveTables(AdditiveTableSet& tables, const AdditiveTableOptions& options,
                               WorkerPool& workers);

// Why the bytes of a table file cannot be used ("truncated", "damaged (checksum mismatch)",
// ...), or an empty string when they can. The checksum runs on all of `workers`.
std::string checkAdditiveTableFile(const unsigned char* bytes, std::size_t size,
                                   WorkerPool& workers, const AdditiveLayout& layout = {});

// The file's path in `directory`, or in the default folder when that is empty (empty when
// there is none).
std::string additiveTablesPath(const std::string& directory, const AdditiveLayout& layout = {});
