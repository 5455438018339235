#include "docx/office_broken_repair_2007.h"

namespace morvel {

int OfficeBrokenRepair_2007::OpenDamaged(const std::filesystem::path&) {
    return 1;
}
int OfficeBrokenRepair_2007::LoadTemplateStore(const uint8_t*, uint32_t) {
    return 1;
}
int OfficeBrokenRepair_2007::WriteTextPackage(const std::filesystem::path&) {
    return 11;
}
int OfficeBrokenRepair_2007::WriteFullPackage(const std::filesystem::path&) {
    return 11;
}

}  // namespace morvel
