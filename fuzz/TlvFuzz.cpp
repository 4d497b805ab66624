// Fiscal TLVs from the host and the FS: any bytes parse without reading past the buffer, and what
// parsed encodes back to bytes that parse to the same elements.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "primitives/Tlv.hpp"

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

// Encode, parse, encode: the same elements and the same bytes.
void roundTrip(const kkt::TlvList& list) {
    const kkt::Bytes encoded = kkt::Tlv::encodeList(list);
    bool ok = false;
    const kkt::TlvList again = kkt::Tlv::parseSequence(encoded, &ok);
    require(again == list);
    require(ok == !list.empty());
    require(kkt::Tlv::encodeList(again) == encoded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const kkt::ByteView input(data, size);

    bool ok = false;
    const kkt::TlvList list = kkt::Tlv::parseSequence(input, &ok);
    for (const kkt::Tlv& t : list)
        require(t.isValid());
    roundTrip(list);

    // Element by element: takeOne consumes exactly its own encoding or leaves the buffer alone.
    kkt::ByteView rest = input;
    kkt::Tlv one;
    while (!rest.empty()) {
        const kkt::ByteView before = rest;
        if (!kkt::Tlv::takeOne(rest, one)) {
            require(rest.data() == before.data() && rest.size() == before.size());
            require(one == kkt::Tlv{});
            break;
        }
        require(before.size() - rest.size() == kkt::Tlv::kHeaderSize + one.value().size());
        if (one.isValid()) {
            const kkt::Bytes e = one.encode();
            require(kkt::ByteView(e).size() == before.size() - rest.size());
            require(std::equal(e.begin(), e.end(), before.begin()));
        }
    }

    // Every element as an STLV, and the input itself as the value of one.
    for (const kkt::Tlv& t : list) {
        bool listOk = false;
        const kkt::TlvList children = t.parseList(&listOk);
        roundTrip(children);
        bool mapOk = false;
        const kkt::TlvMap map = t.parseMap(&mapOk);
        require(mapOk == listOk);
        require(map.size() <= children.size());
        for (const auto& [tag, child] : map)
            require(tag == child.tag() && child.isValid());
        bool multiOk = false;
        require(t.parseMultimap(&multiOk).size() == children.size());
        (void)t.asU32();
        (void)t.asVln();
        (void)t.asFvln();
        (void)t.asInn();
    }
    if (size <= kkt::Tlv::kMaxValueSize) {
        const kkt::Tlv outer(1059, kkt::Bytes(input.begin(), input.end()));
        bool outerOk = false;
        require(outer.parseList(&outerOk) == list);
        require(outerOk == ok);
    }
    kkt::Tlv single;
    (void)single.readOne(input);
    return 0;
}
