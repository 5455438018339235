#include "docx/zip_findings.h"

namespace morvel {

std::string_view recordKindName(ZipRecordKind kind) {
    switch (kind) {
        case ZipRecordKind::LocalHeader:
            return "local";
        case ZipRecordKind::CentralHeader:
            return "central";
        case ZipRecordKind::EndRecord:
            return "end";
        case ZipRecordKind::Archive:
            return "archive";
    }
    return "archive";
}

std::string_view crcStateName(CrcState state) {
    switch (state) {
        case CrcState::Unchecked:
            return "unchecked";
        case CrcState::Ok:
            return "ok";
        case CrcState::Failed:
            return "failed";
    }
    return "unchecked";
}

std::string_view entrySourceName(EntrySource source) {
    switch (source) {
        case EntrySource::Local:
            return "local";
        case EntrySource::Central:
            return "central";
        case EntrySource::Both:
            return "both";
    }
    return "local";
}

}  // namespace morvel
