#pragma once

#include <cstdint>
#include <filesystem>

#include "platform/byte_span.h"

namespace morvel {

// The DOCX repair engine: salvages a damaged package and writes a rebuilt one.
// Every operation returns 0 on success. (Placeholder until the engine lands: it reads nothing.)
class OfficeBrokenRepair_2007 {
  public:
    virtual ~OfficeBrokenRepair_2007() = default;

    int OpenDamaged(const std::filesystem::path& path);
    int LoadTemplateStore(const uint8_t* bytes, uint32_t length);
    int WriteTextPackage(const std::filesystem::path& outPath);
    int WriteFullPackage(const std::filesystem::path& outPath);
};

}  // namespace morvel
