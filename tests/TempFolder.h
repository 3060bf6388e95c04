#pragma once
// A fresh folder per test, removed afterwards.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

class TTempFolder {
public:
  TTempFolder() {
    std::random_device rd;
    FPath = std::filesystem::temp_directory_path() / ("tvl-test-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(FPath);
  }
  ~TTempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  TTempFolder(const TTempFolder &) = delete;
  TTempFolder &operator=(const TTempFolder &) = delete;

  const std::filesystem::path &Path() const { return FPath; }
  std::string File(const std::string &name) const { return (FPath / name).string(); }
  // The folder as the program names folders: with a trailing separator.
  std::string Folder() const { return FPath.string() + "/"; }

  std::string Write(const std::string &name, const std::string &content) const {
    std::ofstream(File(name), std::ios::binary) << content;
    return File(name);
  }
  std::string Read(const std::string &name) const { return ReadFile(File(name)); }
  static std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

private:
  std::filesystem::path FPath;
};
