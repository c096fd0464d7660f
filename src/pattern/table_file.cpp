#include "pattern/table_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr unsigned char kMagic[8] = {'Z', 'E', 'L', 'V', 'A', 'R', 'P', 'D'};
// Header fields: magic, version (u32), pattern count (u32), tile counts (two bytes and two
// of padding), the tiles of each pattern (8 bytes each), padding, the two tables' sizes (u64
// each), the checksum (u64). Little-endian.
constexpr std::size_t kVersionAt = 8;
constexpr std::size_t kPatternCountAt = 12;
constexpr std::size_t kTileCountsAt = 16;
constexpr std::size_t kTilesAt = 20;
constexpr std::size_t kSizesAt = 40;
constexpr std::size_t kChecksumAt = 56;
static_assert(kChecksumAt + 8 == kAdditiveHeaderBytes);

void putLittle(unsigned char* at, std::uint64_t value, int bytes) {
  for (int k = 0; k < bytes; ++k)
    at[k] = static_cast<unsigned char>(value >> 8 * k);
}
std::uint64_t getLittle(const unsigned char* at, int bytes) {
  std::uint64_t value = 0;
  for (int k = 0; k < bytes; ++k)
    value |= std::uint64_t{at[k]} << 8 * k;
  return value;
}

void writeHeader(unsigned char* header, const AdditiveLayout& layout) {
  const AdditivePattern patterns[2] = {layout.first, layout.second};
  std::memset(header, 0, kAdditiveHeaderBytes);
  std::memcpy(header, kMagic, sizeof kMagic);
  putLittle(header + kVersionAt, kAdditiveTablesVersion, 4);
  putLittle(header + kPatternCountAt, 2, 4);
  for (int p = 0; p < 2; ++p) {
    header[kTileCountsAt + p] = static_cast<unsigned char>(patterns[p].tileCount);
    std::memcpy(header + kTilesAt + 8 * p, patterns[p].tiles, 8);
    putLittle(header + kSizesAt + 8 * p, placementCount(patterns[p].tileCount), 8);
  }
}

// A 64-bit multiply-and-shift mix over 8-byte words, four lanes at a time, per 1 MiB chunk
// on all workers; the chunks' sums are folded in order, so the value does not depend on the
// workers. The checksum field itself counts as zero.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
constexpr std::uint64_t kMultiplier = 0x9e3779b97f4a7c15u;

std::uint64_t mix(std::uint64_t h, std::uint64_t word) {
  h = (h ^ word) * kMultiplier;
  return h ^ (h >> 29);
}

std::uint64_t chunkSum(const unsigned char* bytes, std::size_t begin, std::size_t end) {
  std::uint64_t lanes[4] = {begin, begin + 1, begin + 2, begin + 3};
  std::size_t at = begin;
  auto word = [&](std::size_t offset) {
    if (offset >= kChecksumAt && offset < kChecksumAt + 8) return std::uint64_t{0};
    std::uint64_t value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
  };
  if (begin < kAdditiveHeaderBytes) {
    for (; at + 8 <= std::min(end, kAdditiveHeaderBytes); at += 8)
      lanes[0] = mix(lanes[0], word(at));
  }
  for (; at + 32 <= end; at += 32) {
    for (int l = 0; l < 4; ++l) {
      std::uint64_t value;
      std::memcpy(&value, bytes + at + 8 * l, sizeof value);
      lanes[l] = mix(lanes[l], value);
    }
  }
  std::uint64_t tail = end - at;
  for (int k = 0; at < end; ++at, ++k)
    tail ^= std::uint64_t{bytes[at]} << (8 * (k % 8));
  return mix(mix(mix(mix(lanes[0], lanes[1]), lanes[2]), lanes[3]), tail);
}

std::uint64_t fileChecksum(const unsigned char* bytes, std::size_t size, WorkerPool& workers) {
  const std::size_t chunks = (size + kChunkBytes - 1) / kChunkBytes;
  std::vector<std::uint64_t> sums(chunks);
  forEachPiece(workers, chunks, 1, [&](std::size_t chunk, std::size_t) {
    sums[chunk] = chunkSum(bytes, chunk * kChunkBytes, std::min(size, (chunk + 1) * kChunkBytes));
  });
  std::uint64_t total = size;
  for (std::uint64_t sum : sums)
    total = mix(total, sum);
  return total;
}

std::string systemReason(const std::error_code& code) {
  return code.message();
}

}  // namespace

std::string additiveTablesPath(const std::string& directory, const AdditiveLayout& layout) {
  const std::string folder = directory.empty() ? platform::cacheDirectory("zelvar") : directory;
  if (folder.empty()) return {};
  return (fs::path(folder) / layout.fileName).string();
}

std::string checkAdditiveTableFile(const unsigned char* bytes, std::size_t size,
                                   WorkerPool& workers, const AdditiveLayout& layout) {
  if (size < sizeof kMagic) return "truncated";
  if (std::memcmp(bytes, kMagic, sizeof kMagic) != 0) return "not a table file of this program";
  if (size < kAdditiveHeaderBytes) return "truncated";
  const std::uint64_t version = getLittle(bytes + kVersionAt, 4);
  if (version != kAdditiveTablesVersion) {
    return "of format version " + std::to_string(version) + ", not " +
           std::to_string(kAdditiveTablesVersion);
  }
  unsigned char expected[kAdditiveHeaderBytes];
  writeHeader(expected, layout);
  if (std::memcmp(bytes, expected, kChecksumAt) != 0) return "made for other patterns";
  if (size != layout.fileBytes()) {
    return size < layout.fileBytes() ? "truncated" : "longer than its tables";
  }
  if (fileChecksum(bytes, size, workers) != getLittle(bytes + kChecksumAt, 8)) {
    return "damaged (checksum mismatch)";
  }
  return {};
}

struct AdditiveTableLoader {
  static std::string load(AdditiveTableSet& tables, const AdditiveTableOptions& options,
                          WorkerPool& workers);
};

namespace {

void tell(const AdditiveTableOptions& options, const std::string& line) {
  if (options.notice) options.notice(line);
}

// A temporary file beside the final one, removed unless renamed into place.
class TemporaryFile {
 public:
  // Creates it; false with `reason` set when the folder cannot be written.
  bool create(const fs::path& target, std::string& reason) {
    std::error_code code;
    fs::create_directories(target.parent_path(), code);
    if (code) {
      reason = systemReason(code);
      return false;
    }
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = target;
      path_ += ".tmp-" + std::to_string(platform::processNumber()) + "-" +
               std::to_string(counter.fetch_add(1));
      // Never an existing file: another process's temporary above all.
      file_ = platform::createNewFile(path_.string());
      if (file_ != nullptr) return true;
      if (errno != EEXIST) break;
    }
    reason = std::strerror(errno);
    return false;
  }

  // Writes and flushes everything, then renames it over `target`. False with `reason` set.
  bool commit(const unsigned char* bytes, std::size_t size, const fs::path& target,
              std::string& reason) {
    errno = 0;
    const bool written = std::fwrite(bytes, 1, size, file_) == size && platform::syncToDisk(file_);
    const int writeError = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!written || !closed) {
      reason = writeError != 0 ? std::strerror(writeError) : "write error";
      return false;
    }
    if (!platform::replaceFile(path_.string(), target.string(), reason)) return false;
    path_.clear();
    return true;
  }

  ~TemporaryFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!path_.empty()) {
      std::error_code ignored;
      fs::remove(path_, ignored);
    }
  }

 private:
  fs::path path_;
  std::FILE* file_ = nullptr;
};

}  // namespace

std::string AdditiveTableLoader::load(AdditiveTableSet& tables, const AdditiveTableOptions& options,
                                      WorkerPool& workers) {
  const AdditiveLayout& layout = options.layout;
  const std::string path = additiveTablesPath(options.directory, layout);
  const std::size_t fileBytes = layout.fileBytes();
  tables.firstSize_ = placementCount(layout.first.tileCount);
  std::string reason;
  if (path.empty()) {
    reason = "no folder for it: neither XDG_CACHE_HOME nor HOME is set";
  } else if (std::error_code missing; !fs::exists(path, missing)) {
    tell(options, "building the 7-8 tables for " + path +
                      " (once; a few minutes on all cores, about 1.6 GB of memory)");
  } else if (!tables.view_.open(path, reason)) {
    tell(options, "cannot read the table file " + path + " (" + reason + "); building it anew");
    reason.clear();
  } else {
    const std::string damage =
        checkAdditiveTableFile(tables.view_.data(), tables.view_.size(), workers, layout);
    if (damage.empty()) {
      tables.bytes_ = tables.view_.data();
      return {};
    }
    tables.view_.close();
    tell(options, "the table file " + path + " is " + damage + "; building it anew");
  }

  TemporaryFile temporary;
  bool keep = false;
  if (reason.empty()) {
    keep = temporary.create(path, reason);
  }
  if (!keep) {
    tell(options, "cannot write the table file " + (path.empty() ? std::string("") : path + " ") +
                      "(" + reason + "); building the 7-8 tables in memory for this run");
  }

  Table<std::uint8_t> image = allocateTable<std::uint8_t>(fileBytes, workers);
  if (!image) return kAdditiveMemoryMessage;
  writeHeader(image.get(), layout);
  // Each table's share of the progress is its share of the placements.
  const double secondShare = static_cast<double>(placementCount(layout.second.tileCount)) /
                             static_cast<double>(fileBytes - kAdditiveHeaderBytes);
  auto secondProgress = [&](double share) {
    if (options.progress) options.progress(share * secondShare);
  };
  auto firstProgress = [&](double share) {
    if (options.progress) options.progress(secondShare + share * (1 - secondShare));
  };
  std::uint8_t* const first = image.get() + kAdditiveHeaderBytes;
  std::uint8_t* const second = first + tables.firstSize_;
  if (buildAdditiveTable(layout.second, second, workers, secondProgress) != AdditiveBuild::built ||
      buildAdditiveTable(layout.first, first, workers, firstProgress) != AdditiveBuild::built) {
    return kAdditiveMemoryMessage;
  }
  putLittle(image.get() + kChecksumAt, fileChecksum(image.get(), fileBytes, workers), 8);

  if (keep && !temporary.commit(image.get(), fileBytes, path, reason)) {
    tell(options, "could not write the table file " + path + " (" + reason +
                      "); the 7-8 tables are kept in memory for this run");
  }
  tables.memory_ = std::move(image);
  tables.bytes_ = tables.memory_.get();
  return {};
}

std::string loadAdditiveTables(AdditiveTableSet& tables, const AdditiveTableOptions& options,
                               WorkerPool& workers) {
  return AdditiveTableLoader::load(tables, options, workers);
}
