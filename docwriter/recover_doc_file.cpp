#include "docwriter/recover_doc_file.h"

namespace morvel {

int RecoverDocFile(std::span<const uint8_t>, const std::filesystem::path&, ProgressIndicator*) {
    return kRecoverDocFailed;
}

}  // namespace morvel
