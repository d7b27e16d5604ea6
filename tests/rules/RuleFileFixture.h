#pragma once
// A fresh directory per test holding the rule file under its real name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "rules/RuleStore.h"

namespace quill::rules {

class RuleFileTest : public testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> serial{0};
    dir_ = std::filesystem::temp_directory_path() /
           ("quillmere-rules-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    file_ = dir_ / DefaultRuleFilePath();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(dir_, ignored);
  }

  void Put(const std::string& bytes) {
    std::ofstream(file_, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string Contents() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Everything in the directory, to see that no temporary file stays behind.
  size_t EntriesInDirectory() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir_), {}));
  }
  RuleStore Store() const { return RuleStore(file_); }

  std::filesystem::path dir_;
  std::filesystem::path file_;
};

}  // namespace quill::rules
