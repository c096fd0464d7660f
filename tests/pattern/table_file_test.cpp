#include "pattern/table_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A file of two small patterns, built in a fraction of a second, stands in for the 7-8 one:
// the file's code does not depend on the patterns.
const AdditiveLayout kSmall = {{3, {11, 12, 15}}, {4, {1, 2, 5, 6}}, "small.tables"};

struct Folder {
  Folder() {
    std::random_device entropy;
    path = fs::temp_directory_path() / ("zelvar-table-test-" + std::to_string(entropy()));
    fs::create_directories(path);
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  fs::path path;
};

std::vector<std::uint8_t> expectedTables() {
  WorkerPool pool(1);
  std::vector<std::uint8_t> bytes(placementCount(3) + placementCount(4));
  EXPECT_EQ(buildAdditiveTable(kSmall.first, bytes.data(), pool), AdditiveBuild::built);
  EXPECT_EQ(buildAdditiveTable(kSmall.second, bytes.data() + placementCount(3), pool),
            AdditiveBuild::built);
  return bytes;
}

// Loads the tables from `folder` and returns the notices; the tables must be the right ones.
std::vector<std::string> load(const fs::path& folder) {
  static const std::vector<std::uint8_t> expected = expectedTables();
  AdditiveTableOptions options;
  options.directory = folder.string();
  options.layout = kSmall;
  std::vector<std::string> notices;
  options.notice = [&](std::string_view line) { notices.emplace_back(line); };
  AdditiveTableSet tables;
  WorkerPool pool(2);
  EXPECT_EQ(loadAdditiveTables(tables, options, pool), "");
  EXPECT_TRUE(tables.loaded());
  if (tables.loaded()) {
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), tables.first()));
  }
  return notices;
}

std::vector<char> readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void writeAll(const fs::path& path, const std::vector<char>& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
}

}  // namespace

// Built and written once, then used as it is; a damaged file is never used but rebuilt, with
// one line saying why, and is sound again afterwards.
TEST(TableFile, DamagedFilesAreRebuiltNeverUsed) {
  Folder folder;
  const fs::path file = folder.path / kSmall.fileName;
  std::vector<std::string> notices = load(folder.path);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("building"), std::string::npos) << notices[0];
  ASSERT_EQ(fs::file_size(file), kSmall.fileBytes());
  EXPECT_EQ(load(folder.path), std::vector<std::string>{});
  const std::vector<char> sound = readAll(file);

  struct Damage {
    const char* name;
    const char* said;
    void (*apply)(std::vector<char>&);
  };
  const Damage damages[] = {
      {"truncated", "truncated", [](std::vector<char>& bytes) { bytes.pop_back(); }},
      {"one byte flipped in the tables", "checksum",
       [](std::vector<char>& bytes) { bytes[bytes.size() / 2] ^= 0x10; }},
      {"one byte flipped in the header", "other patterns",
       [](std::vector<char>& bytes) { bytes[kAdditiveHeaderBytes - 30] ^= 1; }},
      {"another format version", "version", [](std::vector<char>& bytes) { bytes[8] += 1; }},
      {"not a table file", "not a table file",
       [](std::vector<char>& bytes) { bytes.assign(100, 'x'); }},
      {"cut inside the header", "truncated", [](std::vector<char>& bytes) { bytes.resize(40); }},
      {"empty", "truncated", [](std::vector<char>& bytes) { bytes.clear(); }},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    std::vector<char> bytes = sound;
    damage.apply(bytes);
    writeAll(file, bytes);
    notices = load(folder.path);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find(damage.said), std::string::npos) << notices[0];
    EXPECT_NE(notices[0].find("building it anew"), std::string::npos) << notices[0];
    EXPECT_TRUE(readAll(file) == sound);
  }
  // Nothing is left beside the file.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path), fs::directory_iterator()), 1);
}

TEST(TableFile, FolderThatCannotBeWrittenBuildsInMemory) {
  Folder folder;
  // A regular file where the folder should be: not even root can write into it.
  const fs::path blocked = folder.path / "blocked";
  writeAll(blocked, {'x'});
  const std::vector<std::string> notices = load(blocked);
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_NE(notices[1].find("in memory"), std::string::npos) << notices[1];
}
