#include "doc/doc8_streams.h"

#include "doc/doc_storage.h"

namespace morvel {

namespace {

std::optional<std::vector<uint8_t>> streamOf(const CDocStorage& storage,
                                             const CStreamEntry* entry) {
    if (!entry)
        return std::nullopt;
    return storage.ReadWholeStream(*entry);
}

}  // namespace

Doc8Streams ReadDoc8Streams(const CDocStorage& storage, DataStream data) {
    Doc8Streams streams;
    if (const CStreamEntry* wd = storage.wordDocument())
        streams.wordDocument = storage.ReadWholeStream(*wd);
    streams.table1 = streamOf(storage, storage.table1());
    streams.table0 = streamOf(storage, storage.table0());
    if (data == DataStream::Read)
        streams.data = streamOf(storage, storage.data());
    return streams;
}

}  // namespace morvel
