#include "fs-emulator/FsState.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/FileIo.hpp"
#include "primitives/Crc.hpp"

namespace kkt::sim {
namespace {

constexpr std::string_view kMagic = "KKTFSEM1";

void putBytes(Bytes& out, ByteView b) {
    le::append32(out, static_cast<std::uint32_t>(b.size()));
    out.insert(out.end(), b.begin(), b.end());
}

void putTime(Bytes& out, const FsDateTime& t) {
    t.append(out);
}

std::optional<Bytes> getBytes(ByteReader& in) {
    const auto n = in.u32();
    if (!n)
        return std::nullopt;
    const auto v = in.take(*n);
    if (!v)
        return std::nullopt;
    return Bytes(v->begin(), v->end());
}

std::optional<FsDateTime> getTime(ByteReader& in) {
    const auto v = in.take(5);
    if (!v)
        return std::nullopt;
    return FsDateTime{(*v)[0], (*v)[1], (*v)[2], (*v)[3], (*v)[4]};
}

std::string describeErrno(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

bool isReceipt(FsDocType t) {
    return t == FsDocType::Receipt || t == FsDocType::Bso || t == FsDocType::Correction ||
           t == FsDocType::CorrectionBso;
}

// What the FS relies on when it reads its own records: a file that passes its CRC but breaks
// one of these (written by another version, or by hand) is refused, never half-trusted.
bool consistent(const FsState& s) {
    if (s.lastNumber != s.documents.size() || s.fsNumber.size() != 16)
        return false;
    switch (s.phase) {
        case FsPhase::ReadyForRegistration:
            if (!s.registrations.empty())
                return false;
            break;
        case FsPhase::Fiscal:
        case FsPhase::PostFiscal:
        case FsPhase::Archive:
            if (s.registrations.empty())
                return false;
            break;
        default:
            return false;
    }
    for (auto n : s.registrations) {
        if (n == 0 || n > s.documents.size())
            return false;
        const FsDocument& d = s.documents[n - 1];
        if ((d.type != FsDocType::Registration && d.type != FsDocType::ReRegistration) ||
            (d.regRecord.size() != 47 && d.regRecord.size() != 51)) {
            return false;
        }
    }
    for (const auto& d : s.documents) {
        if (isReceipt(d.type) && d.archive.size() != 19)
            return false;
        if (d.acknowledged != !d.ticket.empty())
            return false;
    }
    return true;
}

}  // namespace

Bytes FsStateFile::encode(const FsState& s) {
    Bytes out(kMagic.begin(), kMagic.end());
    putBytes(out, asBytes(s.fsNumber));
    out.insert(out.end(), s.key.begin(), s.key.end());
    putTime(out, s.made);
    out.push_back(static_cast<std::uint8_t>(s.phase));
    putTime(out, s.lastTime);
    le::append32(out, s.lastNumber);
    out.push_back(s.shiftOpen ? 1 : 0);
    le::append16(out, s.shiftNumber);
    le::append16(out, s.receiptsInShift);
    le::append32(out, s.documentsInShift);
    putTime(out, s.shiftOpenTime);
    s.shift.save(out);
    s.fsTotals.save(out);
    le::append32(out, static_cast<std::uint32_t>(s.registrations.size()));
    for (auto n : s.registrations)
        le::append32(out, n);
    out.push_back(static_cast<std::uint8_t>(s.open.type));
    putTime(out, s.open.time);
    putBytes(out, s.open.data);
    putBytes(out, s.open.pendingMark);
    out.push_back(s.transportConnected ? 1 : 0);
    le::append32(out, static_cast<std::uint32_t>(s.documents.size()));
    for (const auto& d : s.documents) {
        le::append32(out, d.number);
        out.push_back(static_cast<std::uint8_t>(d.type));
        putTime(out, d.time);
        le::append32(out, d.fiscalSign);
        putBytes(out, d.archive);
        putBytes(out, d.tlv);
        putBytes(out, d.regRecord);
        out.push_back(d.acknowledged ? 1 : 0);
        putBytes(out, d.ticket);
    }
    le::append32(out, Crc32::compute(out));
    return out;
}

std::optional<FsState> FsStateFile::decode(ByteView data) {
    if (data.size() < kMagic.size() + 4)
        return std::nullopt;
    const auto body = data.first(data.size() - 4);
    if (le::load32(data.data() + body.size()) != Crc32::compute(body))
        return std::nullopt;
    if (asString(body.first(kMagic.size())) != kMagic)
        return std::nullopt;
    ByteReader in(body.subspan(kMagic.size()));
    FsState s;
    auto number = getBytes(in);
    const auto key = in.take(16);
    auto made = getTime(in);
    const auto phase = in.u8();
    auto last = getTime(in);
    const auto lastNumber = in.u32();
    const auto shiftOpen = in.u8();
    const auto shiftNumber = in.u16();
    const auto receipts = in.u16();
    const auto docsInShift = in.u32();
    auto shiftTime = getTime(in);
    if (!number || !key || !made || !phase || !last || !lastNumber || !shiftOpen || !shiftNumber ||
        !receipts || !docsInShift || !shiftTime) {
        return std::nullopt;
    }
    s.fsNumber = asString(*number);
    std::copy(key->begin(), key->end(), s.key.begin());
    s.made = *made;
    s.phase = static_cast<FsPhase>(*phase);
    s.lastTime = *last;
    s.lastNumber = *lastNumber;
    s.shiftOpen = *shiftOpen != 0;
    s.shiftNumber = *shiftNumber;
    s.receiptsInShift = *receipts;
    s.documentsInShift = *docsInShift;
    s.shiftOpenTime = *shiftTime;
    if (!s.shift.load(in) || !s.fsTotals.load(in))
        return std::nullopt;
    const auto regs = in.u32();
    if (!regs || *regs > in.remaining() / 4)
        return std::nullopt;
    for (std::uint32_t i = 0; i < *regs; ++i)
        s.registrations.push_back(*in.u32());
    const auto openType = in.u8();
    auto openTime = getTime(in);
    auto openData = getBytes(in);
    auto pending = getBytes(in);
    const auto transport = in.u8();
    const auto docs = in.u32();
    if (!openType || !openTime || !openData || !pending || !transport || !docs) {
        return std::nullopt;
    }
    s.open = {static_cast<FsDocType>(*openType), *openTime, std::move(*openData),
              std::move(*pending)};
    s.transportConnected = *transport != 0;
    for (std::uint32_t i = 0; i < *docs; ++i) {
        FsDocument d;
        const auto n = in.u32();
        const auto type = in.u8();
        auto time = getTime(in);
        const auto sign = in.u32();
        auto archive = getBytes(in);
        auto tlv = getBytes(in);
        auto reg = getBytes(in);
        const auto ack = in.u8();
        auto ticket = getBytes(in);
        if (!n || !type || !time || !sign || !archive || !tlv || !reg || !ack || !ticket ||
            *n != i + 1) {
            return std::nullopt;
        }
        d.number = *n;
        d.type = static_cast<FsDocType>(*type);
        d.time = *time;
        d.fiscalSign = *sign;
        d.archive = std::move(*archive);
        d.tlv = std::move(*tlv);
        d.regRecord = std::move(*reg);
        d.acknowledged = *ack != 0;
        d.ticket = std::move(*ticket);
        s.documents.push_back(std::move(d));
    }
    if (!in.atEnd() || !consistent(s))
        return std::nullopt;
    return s;
}

bool FsStateFile::save(const FsState& state, std::string* error) const {
    const Bytes data = encode(state);
    switch (replaceFileAtomically(path_, data)) {
        case ReplaceResult::Done:
            return true;
        case ReplaceResult::CreateFailed:
            if (error)
                *error = describeErrno("cannot create", path_ + ".tmp");
            return false;
        case ReplaceResult::WriteFailed:
            if (error)
                *error = describeErrno("cannot write", path_ + ".tmp");
            return false;
        case ReplaceResult::RenameFailed:
            if (error)
                *error = describeErrno("cannot rename onto", path_);
            return false;
    }
    return false;
}

std::optional<FsState> FsStateFile::load(std::string* error) const {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = describeErrno("cannot open", path_);
        return std::nullopt;
    }
    Bytes data;
    std::uint8_t buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (error)
                *error = describeErrno("cannot read", path_);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        data.insert(data.end(), buf, buf + n);
    }
    ::close(fd);
    auto state = decode(data);
    if (!state && error)
        *error = "state file " + path_ + " is damaged or of another format";
    return state;
}

}  // namespace kkt::sim
