#pragma once

#include <filesystem>
#include <string>

namespace tablora::test {

inline std::filesystem::path DataDir() { return TABLORA_TEST_DATA_DIR; }
inline std::filesystem::path CorpusDir() { return TABLORA_CORPUS_DIR; }
inline std::filesystem::path BinaryDir() { return TABLORA_BINARY_DIR; }

}  // namespace tablora::test
