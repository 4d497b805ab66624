#include "fs-emulator/FsEmulator.hpp"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "FsEmulatorTestSupport.hpp"

namespace kkt::sim {
namespace {

using namespace kkt::sim::test;

constexpr std::array<std::uint8_t, 16> kKey = {1, 2,  3,  4,  5,  6,  7,  8,
                                               9, 10, 11, 12, 13, 14, 15, 16};

FsState freshFs() {
    return FsEmulator::freshState("9999078900001234", kKey, {26, 1, 10, 0, 0});
}

class FsEmulatorTest : public ::testing::Test {
  protected:
    FsAnswer run(std::uint8_t code, const Bytes& data = {}) { return fs.handle(code, data); }
    // A command that must succeed; its answer data.
    Bytes must(std::uint8_t code, const Bytes& data = {}) {
        const FsAnswer a = run(code, data);
        EXPECT_EQ(a.code, 0) << "command 0x" << std::hex << int(code);
        return a.data;
    }
    std::uint8_t err(std::uint8_t code, const Bytes& data = {}) { return run(code, data).code; }

    void registerFs(const Bytes& time = dt(2026, 2, 1, 9, 0)) {
        must(0xA2, {0x00, 0x04});
        must(0x07, tlvs({Tlv().setText(1048, "ООО Ромашка"), Tlv().setText(1009, "Москва"),
                         Tlv().setText(1013, "0000000012345678")}));
        must(0xA3, cat(time, regRecord()));
    }
    void openShift(const Bytes& time) {
        must(0x11, time);
        must(0x12);
    }
    Bytes receipt(std::uint8_t begin, const Bytes& time, std::uint8_t operation,
                  std::uint64_t total, const TlvList& data) {
        must(begin, time);
        must(0x07, Tlv::encodeList(data));
        return must(0x16, closeData(time, operation, total));
    }

    FsEmulator fs{freshFs()};
};

TEST_F(FsEmulatorTest, FreshFsIsReadyForRegistrationAndAnswersItsIdentity) {
    const Bytes status = must(0x30);
    ASSERT_EQ(status.size(), 30u);
    EXPECT_EQ(status[0], 1);  // phase 1
    EXPECT_EQ(asString(ByteView(status).subspan(10, 16)), "9999078900001234");
    EXPECT_EQ(le::load32(&status[26]), 0u);
    EXPECT_EQ(must(0x31).size(), 16u);
    EXPECT_EQ(must(0x33).size(), 17u);
    EXPECT_EQ(must(0x3A), (Bytes{4, 4}));
    EXPECT_EQ(must(0x3F).size(), 48u);
    const Bytes life = must(0x32);
    ASSERT_EQ(life.size(), 5u);
    EXPECT_EQ(life[0], 29);  // 36 months after 2026-01
    EXPECT_EQ(life[3], 30);  // registrations left
    EXPECT_EQ(life[4], 0);   // registrations done
    EXPECT_EQ(must(0x10).size(), 5u);
    EXPECT_EQ(must(0x20).size(), 13u);
    EXPECT_EQ(must(0xBA).size(), 13u);
    EXPECT_GE(must(0x3D).size(), 8u);
    EXPECT_EQ(must(0x3B, dt(2026, 1, 20, 0, 0)).size(), 2u);
}

TEST_F(FsEmulatorTest, RefusesWhatTheStateOrTheRequestDoesNotAllow) {
    struct Case {
        const char* what;
        std::uint8_t code;
        Bytes data;
        FsError expected;
    };
    const Case beforeRegistration[] = {
        {"unknown code", 0x99, {}, FsError::UnknownCommand},
        {"0x16 with 10 bytes", 0x16, Bytes(10, 0), FsError::UnknownCommand},
        {"0x07 without data", 0x07, {}, FsError::UnknownCommand},
        {"shift before registration", 0x11, dt(2026, 2, 1, 9, 0), FsError::WrongState},
        {"receipt before registration", 0x15, dt(2026, 2, 1, 9, 0), FsError::WrongState},
        {"data without a document", 0x07, tlvs({Tlv().setText(1048, "x")}), FsError::WrongState},
        {"finish without a document", 0x12, {}, FsError::WrongState},
        {"re-registration before registration", 0xA2, {0x01, 0x04}, FsError::WrongState},
        {"registration for FFD 1.1", 0xA2, {0x00, 0x03}, FsError::BadParameter},
        {"no document 1 yet", 0x40, {1, 0, 0, 0}, FsError::NoData},
        {"no registration yet", 0x43, {}, FsError::NoData},
        {"no parameter yet", 0x44, {0xE8, 0x03}, FsError::NoData},
        {"document read step without its start", 0x46, {}, FsError::OutOfSequence},
        {"shift counters without a shift", 0x36, {0}, FsError::WrongState},
        {"counters of an unknown set", 0x36, {7}, FsError::BadParameter},
        {"not a date-time", 0x3B, {26, 13, 1, 0, 0}, FsError::BadDateTime},
    };
    for (const auto& c : beforeRegistration) {
        EXPECT_EQ(err(c.code, c.data), static_cast<std::uint8_t>(c.expected)) << c.what;
    }

    registerFs();
    openShift(dt(2026, 2, 1, 10, 0));
    const Case inFiscalMode[] = {
        {"second registration", 0xA2, {0x00, 0x04}, FsError::WrongState},
        {"re-registration with the shift open", 0xA2, {0x01, 0x04}, FsError::WrongState},
        {"shift already open", 0x11, dt(2026, 2, 1, 11, 0), FsError::WrongState},
        {"closing the FS with the shift open", 0x04, {}, FsError::WrongState},
        {"date-time before the last document", 0x15, dt(2026, 2, 1, 9, 59), FsError::BadDateTime},
        {"receipt 24 hours after the shift opened", 0x15, dt(2026, 2, 2, 10, 1),
         FsError::ShiftOver24h},
        {"marking data without a receipt", 0xB7, cat({1}, tlvs({Tlv().setText(2007, "x")})),
         FsError::WrongState},
    };
    for (const auto& c : inFiscalMode) {
        EXPECT_EQ(err(c.code, c.data), static_cast<std::uint8_t>(c.expected)) << c.what;
    }
    EXPECT_EQ(fs.state().open.type, FsDocType::None) << "no refused begin leaves a document";

    must(0x15, dt(2026, 2, 1, 11, 0));
    const Case inReceipt[] = {
        {"a second document", 0x18, dt(2026, 2, 1, 11, 0), FsError::WrongState},
        {"shift finish for a receipt", 0x12, {}, FsError::OutOfSequence},
        {"registration finish for a receipt", 0xA3, cat(dt(2026, 2, 1, 11, 0), regRecord()),
         FsError::OutOfSequence},
        {"a tag the FS sets itself", 0x07, tlvs({Tlv().setU32(1040, 7)}), FsError::ForbiddenTag},
        {"cut-off TLV", 0x07, {0x18, 0x04, 0x05, 0x00, 0x41}, FsError::BadParameter},
        {"element with tag 0", 0x07, cat(tlvs({Tlv().setText(1008, "a")}), {0, 0, 1, 0, 0x41}),
         FsError::BadParameter},
        {"document data over the limit", 0x07,
         tlvs({Tlv().setBytes(1008, Bytes(FsEmulator::kDocumentDataLimit, 'a'))}),
         FsError::TlvTooLarge},
        {"item before its marking data", 0xB7, cat({2}, tlvs({Tlv().setText(1059, "x")})),
         FsError::OutOfSequence},
        {"marking step with another tag", 0xB7, cat({1}, tlvs({Tlv().setText(1030, "x")})),
         FsError::ForbiddenTag},
        {"unknown operation type", 0x16, closeData(dt(2026, 2, 1, 11, 0), 5, 100),
         FsError::BadParameter},
    };
    for (const auto& c : inReceipt) {
        EXPECT_EQ(err(c.code, c.data), static_cast<std::uint8_t>(c.expected)) << c.what;
    }
    // The forbidden tag comes back in the answer data.
    EXPECT_EQ(run(0x07, tlvs({Tlv().setU32(1077, 1)})).data, (Bytes{0x35, 0x04}));
    // Payments that do not add up to the total are refused; the receipt stays open.
    must(0x07, tlvs({Tlv().setVln(1031, 5000)}));
    EXPECT_EQ(err(0x16, closeData(dt(2026, 2, 1, 11, 0), 1, 10000)),
              static_cast<std::uint8_t>(FsError::BadParameter));
    EXPECT_EQ(must(0x30)[1], static_cast<std::uint8_t>(FsDocType::Receipt));
    must(0x06);
    // A VAT sum beyond the total is no VAT of this receipt.
    must(0x15, dt(2026, 2, 1, 11, 0));
    must(0x07, tlvs({Tlv().setVln(1031, 100), Tlv().setVln(1102, 101)}));
    EXPECT_EQ(err(0x16, closeData(dt(2026, 2, 1, 11, 0), 1, 100)),
              static_cast<std::uint8_t>(FsError::BadParameter));
    must(0x06);
    EXPECT_EQ(must(0x30)[1], 0);
    must(0x06);  // cancelling nothing is not an error
}

TEST_F(FsEmulatorTest, AWholeLifeNumbersSignsCountsAndArchivesEveryDocument) {
    registerFs(dt(2026, 2, 1, 9, 0));
    EXPECT_EQ(must(0x30)[0], 3);
    EXPECT_EQ(must(0x32)[4], 1);

    must(0x11, dt(2026, 2, 1, 10, 0));
    const Bytes opened = must(0x12);
    ASSERT_EQ(opened.size(), 10u);
    EXPECT_EQ(le::load16(&opened[0]), 1);
    EXPECT_EQ(le::load32(&opened[2]), 2u);

    const Bytes cash = receipt(0x15, dt(2026, 2, 1, 10, 5), 1, 10000,
                               {Tlv().setVln(1031, 10000), Tlv().setVln(1102, 1667)});
    ASSERT_EQ(cash.size(), 10u);
    EXPECT_EQ(le::load16(&cash[0]), 1);   // receipt 1 of the shift
    EXPECT_EQ(le::load32(&cash[2]), 3u);  // document 3
    EXPECT_NE(le::load32(&cash[6]), 0u);  // fiscal sign
    const Bytes card = receipt(0x15, dt(2026, 2, 1, 10, 6), 1, 2500, {Tlv().setVln(1081, 2500)});
    EXPECT_EQ(le::load16(&card[0]), 2);
    const Bytes corr = receipt(0x17, dt(2026, 2, 1, 10, 7), 3, 700, {Tlv().setVln(1031, 700)});
    EXPECT_EQ(le::load32(&corr[2]), 5u);

    const Bytes shift = must(0x36, {0});
    ASSERT_EQ(shift.size(), 354u);
    EXPECT_EQ(le::load16(&shift[0]), 1);                         // shift number
    EXPECT_EQ(le::load32(&shift[2]), 3u);                        // receipts
    EXPECT_EQ(le::load32(&shift[6]), 2u);                        // income count
    EXPECT_EQ(le::load64(&shift[10]) & 0xFFFFFFFFFFFF, 12500u);  // income total
    EXPECT_EQ(le::load64(&shift[16]) & 0xFFFFFFFFFFFF, 10000u);  // income cash
    EXPECT_EQ(le::load64(&shift[22]) & 0xFFFFFFFFFFFF, 2500u);   // income electronic
    EXPECT_EQ(le::load64(&shift[46]) & 0xFFFFFFFFFFFF, 1667u);   // income VAT 20%
    EXPECT_EQ(le::load32(&shift[158]), 1u);                      // expense count
    EXPECT_EQ(le::load64(&shift[168]) & 0xFFFFFFFFFFFF, 700u);   // expense cash
    EXPECT_EQ(le::load32(&shift[310]), 1u);                      // corrections
    EXPECT_EQ(le::load32(&shift[334]), 1u);                      // correction expense count
    EXPECT_EQ(le::load64(&shift[338]) & 0xFFFFFFFFFFFF, 700u);
    // Closed shifts only: nothing yet.
    EXPECT_EQ(le::load32(&must(0x36, {1})[2]), 0u);

    must(0x13, dt(2026, 2, 1, 20, 0));
    const Bytes closed = must(0x14);
    ASSERT_EQ(closed.size(), 11u);
    EXPECT_EQ(le::load32(&closed[2]), 6u);
    EXPECT_EQ(must(0x36, {1}).size(), 354u);
    EXPECT_EQ(Bytes(must(0x36, {1})).size(), 354u);
    const Bytes totals = must(0x36, {1});
    EXPECT_EQ(Bytes(totals.begin() + 2, totals.end()), Bytes(shift.begin() + 2, shift.end()))
        << "the closed shift moves into the FS totals whole";
    EXPECT_EQ(err(0x36, {0}), static_cast<std::uint8_t>(FsError::WrongState));

    must(0x18, dt(2026, 2, 2, 8, 0));
    const Bytes report = must(0x19);
    ASSERT_EQ(report.size(), 15u);
    EXPECT_EQ(le::load32(&report[0]), 7u);
    EXPECT_EQ(le::load32(&report[8]), 6u);  // nothing passed to an OFD yet
    EXPECT_EQ(Bytes(report.begin() + 12, report.end()), (Bytes{26, 2, 1}));

    must(0x04);
    EXPECT_EQ(err(0x05, cat(dt(2026, 2, 2, 9, 0), text("0000000009999999", 20))),
              static_cast<std::uint8_t>(FsError::BadParameter))
        << "another registration number";
    const Bytes fsClosed = must(0x05, cat(dt(2026, 2, 2, 9, 0), text(kRn, 20)));
    ASSERT_EQ(fsClosed.size(), 8u);
    EXPECT_EQ(le::load32(&fsClosed[0]), 8u);
    EXPECT_EQ(must(0x30)[0], 7);
    EXPECT_EQ(err(0x11, dt(2026, 2, 2, 10, 0)), static_cast<std::uint8_t>(FsError::WrongState));

    // The archive: each document in the layout of its type.
    const struct {
        std::uint32_t number;
        FsDocType type;
        std::size_t size;
    } archive[] = {{1, FsDocType::Registration, 60}, {2, FsDocType::ShiftOpen, 15},
                   {3, FsDocType::Receipt, 19},      {5, FsDocType::Correction, 19},
                   {6, FsDocType::ShiftClose, 15},   {7, FsDocType::SettlementReport, 20},
                   {8, FsDocType::FsClose, 45}};
    for (const auto& a : archive) {
        Bytes n;
        le::append32(n, a.number);
        const Bytes doc = must(0x40, n);
        ASSERT_EQ(doc.size(), 2 + a.size) << a.number;
        EXPECT_EQ(doc[0], static_cast<std::uint8_t>(a.type));
        EXPECT_EQ(doc[1], 0) << "not acknowledged";
        EXPECT_EQ(le::load32(&doc[2 + 5]), a.number);
    }
    Bytes three;
    le::append32(three, 3);
    const Bytes r3 = must(0x40, three);
    EXPECT_EQ(le::load32(&r3[2 + 9]), le::load32(&cash[6])) << "the same fiscal sign";
    EXPECT_EQ(r3[2 + 13], 1);
    EXPECT_EQ(le::load32(&r3[2 + 14]), 10000u);

    // Registration results and parameters.
    const Bytes reg = must(0x43, {});
    ASSERT_EQ(reg.size(), 60u);
    EXPECT_EQ(asString(ByteView(reg).subspan(5, 10)), kInn);
    EXPECT_EQ(le::load32(&reg[52]), 1u);
    Bytes user;
    le::append16(user, 1048);
    EXPECT_EQ(must(0x44, user), Tlv().setText(1048, "ООО Ромашка").encode());
    EXPECT_EQ(must(0x44, cat({1}, user)), Tlv().setText(1048, "ООО Ромашка").encode());
    Bytes fsNumber;
    le::append16(fsNumber, 1041);
    EXPECT_EQ(must(0x44, fsNumber), Tlv().setText(1041, "9999078900001234").encode());
    Bytes automat;
    le::append16(automat, 1036);
    EXPECT_EQ(err(0x44, automat), static_cast<std::uint8_t>(FsError::NoData));
    EXPECT_EQ(err(0x44, cat({2}, user)), static_cast<std::uint8_t>(FsError::NoData));
}

TEST_F(FsEmulatorTest, DocumentDataComesBackElementByElementEndingWithNoData) {
    registerFs();
    openShift(dt(2026, 2, 1, 10, 0));
    receipt(0x15, dt(2026, 2, 1, 10, 5), 1, 300,
            {Tlv().setText(1008, "a@b.ru"), Tlv().setVln(1031, 300)});
    const Bytes head = must(0x45, {3, 0, 0, 0});
    ASSERT_EQ(head.size(), 4u);
    EXPECT_EQ(le::load16(&head[0]), 3);
    std::map<std::uint16_t, Tlv> seen;
    for (int i = 0; i < 50; ++i) {
        const FsAnswer a = run(0x46);
        if (a.code == static_cast<std::uint8_t>(FsError::NoData))
            break;
        ASSERT_EQ(a.code, 0);
        bool ok = false;
        const TlvList one = Tlv::parseSequence(a.data, &ok);
        ASSERT_TRUE(ok);
        ASSERT_EQ(one.size(), 1u);
        seen.emplace(one[0].tag(), one[0]);
    }
    EXPECT_EQ(seen.at(1008).asText(), "a@b.ru");
    EXPECT_EQ(seen.at(1040).asU32(), 3u);
    EXPECT_EQ(seen.at(1041).asText(), "9999078900001234");
    EXPECT_EQ(seen.at(1042).asU32(), 1u);
    EXPECT_EQ(seen.at(1054).asByte(), 1);
    EXPECT_EQ(seen.at(1020).asVln(), 300u);
    EXPECT_EQ(seen.at(1012).asU32(), 1769940300u);  // 2026-02-01 10:05 as FFD time
    EXPECT_EQ(seen.at(1077).value().size(), 6u);
    Bytes n;
    le::append32(n, 3);
    EXPECT_EQ(seen.at(1077).asU32(), le::load32(&must(0x40, n)[2 + 9]));
    EXPECT_EQ(err(0x46), static_cast<std::uint8_t>(FsError::OutOfSequence)) << "read is over";
}

TEST_F(FsEmulatorTest, ShiftCloseReportCarriesShiftAndFsCounters) {
    registerFs();
    openShift(dt(2026, 2, 1, 10, 0));
    receipt(0x15, dt(2026, 2, 1, 10, 5), 1, 4200, {Tlv().setVln(1031, 4200)});
    must(0x13, dt(2026, 2, 1, 11, 0));
    must(0x14);
    const auto& doc = fs.state().documents.back();
    bool ok = false;
    TlvMap map = Tlv(1, doc.tlv).parseMap(&ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(map.at(1111).asU32(), 3u) << "open report, receipt, close report";
    EXPECT_EQ(map.at(1118).asU32(), 1u);
    for (std::uint16_t container : {1194, 1157}) {
        const TlvMap counters = map.at(container).parseMap();
        EXPECT_EQ(counters.at(1134).asU32(), 1u);
        const TlvMap income = counters.at(1129).parseMap();
        EXPECT_EQ(income.at(1135).asU32(), 1u);
        EXPECT_EQ(income.at(1136).asVln(), 4200u);
    }
}

TEST_F(FsEmulatorTest, SettlementReportCountsTheReceiptsNotYetSent) {
    registerFs();
    openShift(dt(2026, 2, 1, 10, 0));
    receipt(0x15, dt(2026, 2, 1, 10, 5), 1, 900,
            {Tlv().setVln(1031, 400), Tlv().setVln(1081, 500)});
    receipt(0x17, dt(2026, 2, 1, 10, 6), 2, 300, {Tlv().setVln(1031, 300)});
    must(0x18, dt(2026, 2, 1, 11, 0));
    must(0x19);
    const TlvMap map = Tlv(1, fs.state().documents.back().tlv).parseMap();
    EXPECT_EQ(map.at(1097).asU32(), 4u);
    EXPECT_EQ(map.at(1116).asU32(), 1u);
    EXPECT_EQ(map.at(1038).asU32(), 1u);
    const TlvMap unsent = map.at(1158).parseMap();
    EXPECT_EQ(unsent.at(1144).asU32(), 2u);
    const TlvMap income = unsent.at(1145).parseMap();
    EXPECT_EQ(income.at(1135).asU32(), 1u);
    EXPECT_EQ(income.at(1136).asVln(), 400u);
    EXPECT_EQ(income.at(1138).asVln(), 500u);
    EXPECT_EQ(unsent.at(1232).parseMap().at(1201).asVln(), 300u);
    const TlvMap fsTotals = map.at(1157).parseMap();
    EXPECT_EQ(fsTotals.at(1134).asU32(), 2u) << "FS totals include the open shift";
    EXPECT_EQ(fsTotals.at(1133).parseMap().at(1144).asU32(), 1u);
}

TEST_F(FsEmulatorTest, MarkedItemsGoIntoTheReceiptAndTicketsAcknowledgeDocuments) {
    registerFs();
    openShift(dt(2026, 2, 1, 10, 0));
    must(0x15, dt(2026, 2, 1, 10, 5));
    must(0xB7, cat({1}, tlvs({Tlv().setText(2007, "MARK")})));
    must(0xB3);  // reset drops the marking data waiting for its item
    EXPECT_EQ(err(0xB7, cat({2}, tlvs({Tlv().setText(1059, "ITEM")}))),
              static_cast<std::uint8_t>(FsError::OutOfSequence));
    must(0xB7, cat({1}, tlvs({Tlv().setText(2007, "MARK")})));
    must(0xB7, cat({2}, tlvs({Tlv().setText(1059, "ITEM")})));
    must(0x16, closeData(dt(2026, 2, 1, 10, 5), 1, 100));
    const TlvMap map = Tlv(1, fs.state().documents.back().tlv).parseMap();
    EXPECT_EQ(map.at(2007).asText(), "MARK");
    EXPECT_EQ(map.at(1059).asText(), "ITEM");

    // The OFD exchange: read the first unsent message, finish it, take the ticket.
    EXPECT_EQ(err(0x26, {1}), static_cast<std::uint8_t>(FsError::OutOfSequence));
    const Bytes length = must(0x22);
    ASSERT_EQ(length.size(), 2u);
    const Bytes message = must(0x23, {0, 0, 8, 0});
    EXPECT_EQ(le::load32(&message[0]), 1u) << "document 1 first";
    must(0x25);
    Bytes ticket = dt(2026, 2, 1, 10, 30);
    ticket.resize(5 + 18, 0xAB);
    must(0x26, ticket);
    const Bytes t = must(0x41, {1, 0, 0, 0});
    ASSERT_EQ(t.size(), 27u);
    EXPECT_EQ(Bytes(t.begin(), t.begin() + 5), dt(2026, 2, 1, 10, 30));
    EXPECT_EQ(t[5], 0xAB);
    EXPECT_EQ(le::load32(&t[23]), 1u);
    EXPECT_EQ(must(0x40, {1, 0, 0, 0})[1], 1) << "acknowledged";
    EXPECT_EQ(err(0x41, {2, 0, 0, 0}), static_cast<std::uint8_t>(FsError::NoData));
    const Bytes exchange = must(0x20);
    EXPECT_EQ(le::load16(&exchange[2]), 2) << "documents 2 and 3 still unsent";
    EXPECT_EQ(le::load32(&exchange[4]), 2u);
}

TEST_F(FsEmulatorTest, ReRegistrationKeepsItsReasonsAndParametersPerReport) {
    registerFs();
    must(0xA2, {0x01, 0x04});
    must(0x07, tlvs({Tlv().setText(1048, "ООО Лютик")}));
    must(0xA3, cat(dt(2026, 3, 1, 9, 0), regRecord(0x01, 0, 0, 0x00000004)));
    EXPECT_EQ(must(0x32)[4], 2);
    const Bytes reg = must(0x43, {});
    ASSERT_EQ(reg.size(), 64u);
    EXPECT_EQ(le::load32(&reg[52]), 4u);
    EXPECT_EQ(le::load32(&reg[56]), 2u);
    Bytes user;
    le::append16(user, 1048);
    EXPECT_EQ(Tlv::parseSequence(must(0x44, user))[0].asText(), "ООО Лютик");
    EXPECT_EQ(Tlv::parseSequence(must(0x44, cat({1}, user)))[0].asText(), "ООО Ромашка");
    Bytes counters;
    le::append16(counters, 1157);
    EXPECT_EQ(err(0x44, cat({1}, counters)), static_cast<std::uint8_t>(FsError::NoData));
    EXPECT_EQ(Tlv::parseSequence(must(0x44, cat({2}, counters)))[0].tag(), 1157);
    const Bytes archived = must(0x40, {2, 0, 0, 0});
    ASSERT_EQ(archived.size(), 2u + 64u);
    EXPECT_EQ(archived[0], 11);
    EXPECT_EQ(le::load32(&archived[2 + 60]), 4u);
}

TEST_F(FsEmulatorTest, FiscalSignDependsOnContentAndKeyOnly) {
    auto life = [](FsEmulator& e, std::string_view buyer) {
        for (const auto& [code, data] : std::vector<std::pair<std::uint8_t, Bytes>>{
                 {0xA2, {0, 4}},
                 {0xA3, cat(dt(2026, 2, 1, 9, 0), regRecord())},
                 {0x11, dt(2026, 2, 1, 10, 0)},
                 {0x12, {}},
                 {0x15, dt(2026, 2, 1, 10, 1)},
                 {0x07, tlvs({Tlv().setText(1008, buyer)})}}) {
            EXPECT_EQ(e.handle(code, data).code, 0);
        }
        return e.handle(0x16, closeData(dt(2026, 2, 1, 10, 1), 1, 100)).data;
    };
    FsEmulator a{freshFs()}, b{freshFs()}, c{freshFs()};
    auto otherKey = kKey;
    otherKey[0] ^= 1;
    FsEmulator d{FsEmulator::freshState("9999078900001234", otherKey, {26, 1, 10, 0, 0})};
    const Bytes ra = life(a, "a@b.ru");
    EXPECT_EQ(ra, life(b, "a@b.ru"));
    EXPECT_NE(ra, life(c, "c@d.ru"));
    EXPECT_NE(ra, life(d, "a@b.ru"));
}

TEST_F(FsEmulatorTest, EveryChangeIsPersistedBeforeTheAnswerAndAFailedPersistChangesNothing) {
    std::vector<FsState> saved;
    bool fail = false;
    FsEmulator e{freshFs(), [&](const FsState& s) {
                     if (fail)
                         return false;
                     saved.push_back(s);
                     return true;
                 }};
    ASSERT_EQ(e.handle(0xA2, Bytes{0, 4}).code, 0);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved.back().open.type, FsDocType::Registration);
    const FsAnswer reg = e.handle(0xA3, cat(dt(2026, 2, 1, 9, 0), regRecord()));
    ASSERT_EQ(reg.code, 0);
    ASSERT_EQ(saved.size(), 2u);
    ASSERT_EQ(saved.back().documents.size(), 1u);
    EXPECT_EQ(saved.back().documents[0].fiscalSign, le::load32(&reg.data[4]));
    // Reads change nothing and write nothing.
    (void)e.handle(0x30, {});
    (void)e.handle(0x40, Bytes{1, 0, 0, 0});
    EXPECT_EQ(saved.size(), 2u);

    fail = true;
    const FsState before = e.state();
    EXPECT_EQ(e.handle(0x11, dt(2026, 2, 1, 10, 0)).error(), FsError::Failure);
    EXPECT_EQ(e.state(), before);
}

}  // namespace
}  // namespace kkt::sim

namespace kkt::sim {
namespace {

using namespace kkt::sim::test;

// Random requests, well-formed and not, never break what the FS keeps: documents stay numbered
// in sequence, the state file form round-trips, and every answer is a frame-sized one.
TEST(FsEmulatorRandomTest, RandomRequestsNeverBreakTheState) {
    std::mt19937 rng(20261211);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    FsEmulator fs{FsEmulator::freshState("9999078900000001", {}, {26, 1, 1, 0, 0})};
    int minutes = 0;
    auto now = [&] {
        minutes += pick(3) == 0 ? 2000 : pick(30);  // sometimes more than a day later
        const FsDateTime t = FsDateTime::fromUnix(1767225600 + std::int64_t{minutes} * 60);
        Bytes b;
        (pick(20) == 0 ? FsDateTime::fromUnix(1767225600) : t).append(b);  // or back in time
        return b;
    };
    auto someTlv = [&] {
        const std::uint16_t tags[] = {1031, 1081, 1102, 1059, 1008, 1040, 2007, 1020, 1054, 1};
        TlvList list;
        for (int i = pick(4); i >= 0; --i)
            list.push_back(Tlv().setVln(tags[pick(10)], rng() % 2000));
        return Tlv::encodeList(list);
    };
    const std::uint8_t lifeCodes[] = {0xA2, 0xA3, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                                      0x18, 0x19, 0x04, 0x05, 0x07, 0x06, 0xB7, 0xB3, 0x36,
                                      0x40, 0x43, 0x44, 0x45, 0x46, 0x22, 0x23, 0x25, 0x26};
    for (int step = 0; step < 20000; ++step) {
        std::uint8_t code = 0;
        Bytes data;
        if (pick(4) == 0) {
            code = static_cast<std::uint8_t>(rng());
            data.resize(static_cast<std::size_t>(pick(70)));
            for (auto& b : data)
                b = static_cast<std::uint8_t>(rng());
        } else {
            code = lifeCodes[pick(sizeof lifeCodes)];
            switch (code) {
                case 0xA2:
                    data = {static_cast<std::uint8_t>(pick(2)), 4};
                    break;
                case 0xA3:
                    data = cat(now(),
                               regRecord(1, 0, static_cast<std::uint8_t>(rng()),
                                         pick(2) ? std::optional<std::uint32_t>(3) : std::nullopt));
                    break;
                case 0x11:
                case 0x13:
                case 0x15:
                case 0x17:
                case 0x18:
                    data = now();
                    break;
                case 0x16:
                    data = closeData(now(), static_cast<std::uint8_t>(pick(6)), rng() % 3000);
                    break;
                case 0x05:
                    data = cat(now(), text(pick(4) ? kRn : "1", 20));
                    break;
                case 0x07:
                    data = someTlv();
                    break;
                case 0xB7:
                    data = cat({static_cast<std::uint8_t>(pick(3))}, someTlv());
                    break;
                case 0x36:
                    data = {static_cast<std::uint8_t>(pick(3))};
                    break;
                case 0x40:
                case 0x45:
                    le::append32(data, static_cast<std::uint32_t>(pick(12)));
                    break;
                case 0x43:
                    if (pick(2))
                        data = {static_cast<std::uint8_t>(pick(4))};
                    break;
                case 0x44:
                    data = {static_cast<std::uint8_t>(pick(3)), 0x18, 0x04};
                    break;
                case 0x23:
                    data = {0, 0, static_cast<std::uint8_t>(pick(40)), 0};
                    break;
                case 0x26:
                    data = now();
                    break;
                default:
                    break;
            }
        }
        if (code == 0x04 && step < 19000)
            continue;  // close the FS only at the end of the walk
        const FsAnswer a = fs.handle(code, data);
        ASSERT_LE(a.data.size(), 0xFFFEu);
        const FsState& s = fs.state();
        ASSERT_EQ(s.lastNumber, s.documents.size());
        for (std::size_t i = 0; i < s.documents.size(); ++i)
            ASSERT_EQ(s.documents[i].number, i + 1);
        if (step % 1000 == 0) {
            const auto back = FsStateFile::decode(FsStateFile::encode(s));
            ASSERT_TRUE(back);
            ASSERT_EQ(*back, s);
        }
    }
    std::set<FsDocType> made;
    for (const auto& d : fs.state().documents)
        made.insert(d.type);
    EXPECT_GE(made.size(), 7u) << "the walk went through most kinds of document";
    EXPECT_GT(fs.state().documents.size(), 100u);
}

}  // namespace
}  // namespace kkt::sim
