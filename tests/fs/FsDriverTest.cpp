#include <gtest/gtest.h>

#include <functional>

#include "FsAnswersSupport.hpp"
#include "ScriptedFsSupport.hpp"
#include "fs/FsCountersBinary.hpp"
#include "fs/FsDriver.hpp"
#include "primitives/Utils.hpp"

using namespace kkt;
using namespace kkt::test;

namespace {

constexpr const char* kMissingDevice = "/nonexistent/ttyFS";

class FsDriverTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(fs.ok()); }

    // The request frame the FS received last.
    FsReq lastRequest() const {
        FsRep parsed;
        EXPECT_FALSE(fs.requests().empty());
        if (fs.requests().empty())
            return FsReq{};
        (void)parsed.fromFrame(fs.requests().back());
        return FsReq(parsed.code(), parsed.data());
    }

    ScriptedFs fs;
    FsDriver driver{fs.path(), fs};
};

Bytes u32Bytes(std::uint32_t v) {
    Bytes b;
    le::append32(b, v);
    return b;
}

}  // namespace

TEST(FsDriver, EveryOperationWithoutTheFsGivesNoAnswer) {
    ScriptedFs clock;
    FsDriver driver(kMissingDevice, clock);
    FsStatus status;
    FsLifetime lifetime;
    FsShiftState shift;
    FsExchangeStatus exchange;
    FsMemoryResource memory;
    FsLabelsTransportStatus labels;
    FsCountersBinary counters;
    FsRep rep;
    Tlv element;
    TlvList list;
    std::string text;
    bool flag = false;
    std::uint8_t a = 0, b = 0;
    std::int32_t counter = 0;
    std::uint16_t type = 0, check = 0;

    const std::vector<std::pair<const char*, std::function<std::uint16_t()>>> operations = {
        {"exec", [&] { return driver.exec(FsReq(0x30), rep, 2000); }},
        {"readStatus", [&] { return driver.readStatus(status); }},
        {"readFsNumber", [&] { return driver.readFsNumber(text); }},
        {"readLifetime", [&] { return driver.readLifetime(lifetime); }},
        {"readVersion", [&] { return driver.readVersion(text, flag); }},
        {"readFfdVersions", [&] { return driver.readFfdVersions(a, b); }},
        {"readLifetimeCounter", [&] { return driver.readLifetimeCounter(clock.now(), counter); }},
        {"readMemoryResource", [&] { return driver.readMemoryResource(memory); }},
        {"readRelease", [&] { return driver.readRelease(text); }},
        {"readShiftState", [&] { return driver.readShiftState(shift); }},
        {"readExchangeStatus", [&] { return driver.readExchangeStatus(exchange); }},
        {"readLabelsTransportStatus", [&] { return driver.readLabelsTransportStatus(labels); }},
        {"cancelDocument", [&] { return driver.cancelDocument(); }},
        {"startFsClose", [&] { return driver.startFsClose(); }},
        {"startShiftOpen", [&] { return driver.startShiftOpen(clock.now()); }},
        {"startShiftClose", [&] { return driver.startShiftClose(clock.now()); }},
        {"startReceipt", [&] { return driver.startReceipt(clock.now()); }},
        {"startCorrection", [&] { return driver.startCorrection(clock.now()); }},
        {"startCalcReport", [&] { return driver.startCalcReport(clock.now()); }},
        {"startRegistrationReport", [&] { return driver.startRegistrationReport(0, 4, rep); }},
        {"resetReceiptMarks", [&] { return driver.resetReceiptMarks(); }},
        {"sendMarkedItem", [&] { return driver.sendMarkedItem(1, Tlv(2007, {1}), check); }},
        {"readCounters", [&] { return driver.readCounters(1, counters); }},
        {"findDocument", [&] { return driver.findDocument(1, rep); }},
        {"readOfdTicket", [&] { return driver.readOfdTicket(1, rep); }},
        {"readFiscalReport", [&] { return driver.readFiscalReport(0, rep); }},
        {"readFiscalParameter", [&] { return driver.readFiscalParameter(1, 1013, element); }},
        {"readDocumentTlv", [&] { return driver.readDocumentTlv(1, type, list); }},
        {"readRegistrationParameters", [&] { return driver.readRegistrationParameters(1, list); }},
        {"rereadRegistration",
         [&] { return driver.rereadRegistration(1, [](const FsRep&) { return true; }); }},
    };
    for (const auto& [name, run] : operations) {
        SCOPED_TRACE(name);
        EXPECT_EQ(run(), fsresult::kNoAnswer);
        EXPECT_EQ(driver.log().rfind("IN:\n", 0), 0u) << driver.log();
        EXPECT_TRUE(driver.log().ends_with("\nPORT IS NOT OPEN in exec")) << driver.log();
        EXPECT_FALSE(driver.isOpen());
    }
    const auto frame = FsReq(0x30).toFrame();
    (void)driver.exec(FsReq(0x30), rep, 2000);
    EXPECT_EQ(driver.log(), "IN:\n" + util::hexDump(frame) + "\nPORT IS NOT OPEN in exec");
}

TEST_F(FsDriverTest, ExecTurnsEachOutcomeIntoOneResultCode) {
    FsRep rep;
    fs.answer(0x00, {0x01});
    EXPECT_EQ(driver.exec(FsReq(0x30), rep, 2000), fsresult::kOk);
    EXPECT_TRUE(driver.isOpen());
    EXPECT_TRUE(driver.log().empty());

    fs.answer(0x82);
    EXPECT_EQ(driver.exec(FsReq(0x30), rep, 2000), 0x0502);
    fs.answer(0x3E);
    EXPECT_EQ(driver.exec(FsReq(0x30), rep, 2000), fsresult::kUnknown);
    auto bad = ScriptedFs::frame(0x00, {0x01});
    bad[bad.size() - 1] ^= 0x01;
    fs.answerRaw(bad);
    EXPECT_EQ(driver.exec(FsReq(0x30), rep, 2000), fsresult::kMalformed);
    EXPECT_EQ(rep.status(), FsFrameStatus::BadCrc);

    fs.silence();
    EXPECT_EQ(driver.exec(FsReq(0x31), rep, 300), fsresult::kNoAnswer);
    EXPECT_EQ(driver.log(), "IN:\n" + util::hexDump(FsReq(0x31).toFrame()) +
                                "\nAPI EXEC ERROR\nPORT IS OPENEDNOT DONE\nOUT\n");
    // The next exec starts with a clean log.
    fs.answer(0x00);
    EXPECT_EQ(driver.exec(FsReq(0x30), rep, 2000), fsresult::kOk);
    EXPECT_TRUE(driver.log().empty());
}

TEST_F(FsDriverTest, RefusedRequestIsNeverWrittenToThePort) {
    FsRep rep;
    EXPECT_EQ(driver.exec(FsReq(0x7F, {0x01, 0x02}), rep, 2000), fsresult::kNoAnswer);
    EXPECT_NE(driver.log().find("API EXEC ERROR\nREQ DATA SIZE = 2\n"), std::string::npos);
    fs.answer(0x00);
    EXPECT_EQ(driver.exec(FsReq(0x30), rep, 2000), fsresult::kOk);
    ASSERT_EQ(fs.requests().size(), 1u);
    EXPECT_EQ(fs.requests()[0], FsReq(0x30).toFrame());
}

TEST_F(FsDriverTest, TimeoutCapShortensEveryAnswerLimit) {
    FsDriver capped(fs.path(), fs, 100);
    FsCountersBinary counters;
    fs.silence();
    EXPECT_EQ(capped.readCounters(1, counters), fsresult::kNoAnswer);
    EXPECT_GE(fs.elapsedMs(), 100);
    EXPECT_LT(fs.elapsedMs(), 200);
}

TEST_F(FsDriverTest, ReadStatusFillsTheRecordOrRefusesTheAnswer) {
    const auto lastTime = localTime(2024, 12, 5, 10, 30);
    fs.answer(0x00, statusAnswer(3, true, 42, lastTime));
    FsStatus status;
    ASSERT_EQ(driver.readStatus(status), fsresult::kOk);
    EXPECT_EQ(lastRequest().code(), 0x30);
    EXPECT_EQ(status.phase, 3);
    EXPECT_TRUE(status.shiftOpen);
    EXPECT_FALSE(status.documentDataReceived);
    EXPECT_EQ(status.warnings, 0x04);
    EXPECT_EQ(status.lastDocumentTime, lastTime);
    EXPECT_EQ(status.fsNumber, kFsNumber);
    EXPECT_EQ(status.lastDocumentNumber, 42u);
    EXPECT_TRUE(status.fiscalModeReached());
    EXPECT_FALSE(status.fiscalModeClosed());

    auto shortAnswer = statusAnswer(3);
    shortAnswer.pop_back();
    struct Case {
        const char* name;
        Bytes data;
    };
    const Case refused[] = {
        {"29 bytes", shortAnswer},
        {"31 bytes",
         [] {
             auto d = statusAnswer(3);
             d.push_back(0);
             return d;
         }()},
        {"phase 2", statusAnswer(2)},
        {"phase 127", statusAnswer(127)},
        {"phase 0", statusAnswer(0)},
        {"no FS number", statusAnswer(1, false, 0, lastTime, "")},
        {"document without a time", statusAnswer(3, false, 5, 0)},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        fs.answer(0x00, c.data);
        EXPECT_EQ(driver.readStatus(status), fsresult::kMalformed);
        EXPECT_EQ(status.phase, FsStatus::kPhaseUnread);
        EXPECT_TRUE(status.fsNumber.empty());
    }
    for (const std::uint8_t phase : {1, 7, 15}) {
        fs.answer(0x00, statusAnswer(phase));
        EXPECT_EQ(driver.readStatus(status), fsresult::kOk);
        EXPECT_EQ(status.phase, phase);
    }
    // A blank FS with no document and no time is fine.
    fs.answer(0x00, statusAnswer(1, false, 0, 0));
    EXPECT_EQ(driver.readStatus(status), fsresult::kOk);
}

TEST_F(FsDriverTest, SmallReadersDecodeTheirAnswers) {
    std::uint8_t first = 9, second = 9;
    fs.answer(0x00, {0x02, 0x04});
    ASSERT_EQ(driver.readFfdVersions(first, second), fsresult::kOk);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 4);
    fs.answer(0x00, {0x04});
    EXPECT_EQ(driver.readFfdVersions(first, second), fsresult::kMalformed);

    std::string text;
    fs.answer(0x00, toBytes(std::string(kFsNumber)));
    ASSERT_EQ(driver.readFsNumber(text), fsresult::kOk);
    EXPECT_EQ(text, kFsNumber);
    fs.answer(0x00, toBytes("123"));
    EXPECT_EQ(driver.readFsNumber(text), fsresult::kMalformed);
    EXPECT_TRUE(text.empty());

    bool flag = false;
    Bytes version = toBytes(std::string("FN-1.2 v015\0\0\0\0\0", 16));
    version.push_back(0);
    fs.answer(0x00, version);
    ASSERT_EQ(driver.readVersion(text, flag), fsresult::kOk);
    EXPECT_EQ(text, "FN-1.2 v015");
    EXPECT_FALSE(flag);

    std::string release(48, ' ');
    release.replace(0, 9, "R2.1 0401");
    fs.answer(0x00, toBytes(release));
    ASSERT_EQ(driver.readRelease(text), fsresult::kOk);
    EXPECT_EQ(text, "R2.1 0401");

    std::int32_t counter = 0;
    const auto at = localTime(2025, 3, 1, 9, 15);
    fs.answer(0x00, {0x34, 0x12});
    ASSERT_EQ(driver.readLifetimeCounter(at, counter), fsresult::kOk);
    EXPECT_EQ(counter, 0x1234);
    const auto field = FsDateTime::encode(at);
    EXPECT_EQ(lastRequest().data(), Bytes(field.begin(), field.end()));
    fs.answer(0x00, {0x34});
    EXPECT_EQ(driver.readLifetimeCounter(at, counter), fsresult::kMalformed);
    EXPECT_EQ(counter, -1);

    FsLabelsTransportStatus labels;
    fs.answer(0x00, Bytes(12, 0));
    EXPECT_EQ(driver.readLabelsTransportStatus(labels), fsresult::kUnknown);
    fs.answer(0x00, {0x01, 0x02, 0x00, 0x10, 0, 0, 0, 25, 1, 2, 3, 4, 0x09});
    ASSERT_EQ(driver.readLabelsTransportStatus(labels), fsresult::kOk);
    EXPECT_EQ(labels.status, 1);
    EXPECT_EQ(labels.count, 2);
    EXPECT_EQ(labels.documentNumber, 0x10u);
    EXPECT_EQ(labels.time, localTime(2025, 1, 2, 3, 4));
    EXPECT_EQ(labels.lastByte, 9);
}

TEST_F(FsDriverTest, DocumentStartsCarryTheDateTime) {
    const auto at = localTime(2025, 6, 30, 23, 59);
    const auto field = FsDateTime::encode(at);
    const Bytes expected(field.begin(), field.end());
    const std::vector<std::pair<std::uint8_t, std::function<std::uint16_t()>>> starts = {
        {0x11, [&] { return driver.startShiftOpen(at); }},
        {0x13, [&] { return driver.startShiftClose(at); }},
        {0x15, [&] { return driver.startReceipt(at); }},
        {0x17, [&] { return driver.startCorrection(at); }},
        {0x18, [&] { return driver.startCalcReport(at); }},
    };
    for (const auto& [code, start] : starts) {
        SCOPED_TRACE(testing::Message() << "code " << int(code));
        fs.answer(0x00);
        EXPECT_EQ(start(), fsresult::kOk);
        EXPECT_EQ(lastRequest().code(), code);
        EXPECT_EQ(lastRequest().data(), expected);
    }
    fs.answer(0x02);
    EXPECT_EQ(driver.cancelDocument(), 0x0502);
    EXPECT_EQ(lastRequest().code(), 0x06);
    fs.answer(0x00);
    EXPECT_EQ(driver.startFsClose(), fsresult::kOk);
    EXPECT_EQ(lastRequest().code(), 0x04);
    fs.answer(0x00);
    EXPECT_EQ(driver.resetReceiptMarks(), fsresult::kOk);
    EXPECT_EQ(lastRequest().code(), 0xB3);
}

TEST_F(FsDriverTest, RegistrationStartReportsAFailedExchangeInTheReply) {
    FsRep rep;
    fs.answer(0x00, {0xAA});
    EXPECT_EQ(driver.startRegistrationReport(0, 4, rep), fsresult::kOk);
    EXPECT_EQ(lastRequest().code(), 0xA2);
    EXPECT_EQ(lastRequest().data(), (Bytes{0, 4}));
    EXPECT_EQ(rep.data(), (Bytes{0xAA}));

    fs.answer(0x96);
    EXPECT_EQ(driver.startRegistrationReport(1, 4, rep), 0x0516);
    EXPECT_EQ(rep.code(), 0x16);
    EXPECT_EQ(rep.resultCode(), 0x0516);

    fs.silence();
    FsDriver capped(fs.path(), fs, 100);
    EXPECT_EQ(capped.startRegistrationReport(1, 4, rep), fsresult::kNoAnswer);
    EXPECT_EQ(rep.code(), 0xFE);
}

TEST_F(FsDriverTest, MarkedItemGivesTheCheckResultOfARefusedCode) {
    Tlv mark;
    mark.setText(2007, "MARK");
    std::uint16_t check = 99;
    FsRep copy;
    fs.answer(0x8B, {0x34, 0x12, 0x00});
    EXPECT_EQ(driver.sendMarkedItem(1, mark, check, &copy), fsresult::kMarkRefused);
    EXPECT_EQ(check, 0x1234);
    EXPECT_EQ(copy.data(), (Bytes{0x34, 0x12, 0x00}));
    Bytes expected{1};
    const auto encoded = mark.encode();
    expected.insert(expected.end(), encoded.begin(), encoded.end());
    EXPECT_EQ(lastRequest().code(), 0xB7);
    EXPECT_EQ(lastRequest().data(), expected);

    fs.answer(0x8B, {0x34});
    EXPECT_EQ(driver.sendMarkedItem(2, mark, check), fsresult::kMarkRefused);
    EXPECT_EQ(check, 0);
    fs.answer(0x00, {0x34, 0x12});
    EXPECT_EQ(driver.sendMarkedItem(2, mark, check), fsresult::kOk);
    EXPECT_EQ(check, 0);
}

TEST_F(FsDriverTest, CountersNeedTheWholeAnswer) {
    FsCountersBinary counters;
    fs.answer(0x00, Bytes(353, 0x01));
    EXPECT_EQ(driver.readCounters(1, counters), fsresult::kMalformed);
    EXPECT_EQ(lastRequest().code(), 0x36);
    EXPECT_EQ(lastRequest().data(), (Bytes{1}));
    EXPECT_EQ(counters.selector, 1);
    EXPECT_EQ(counters.receipts, 0u);
    EXPECT_EQ(counters.income.count, 0);
    EXPECT_EQ(counters.income.cash.raw(), 0);

    Bytes answer(354, 0);
    answer[2] = 7;             // receipts
    answer[6] = 3;             // income count
    answer[6 + 4 + 6] = 0x10;  // income cash 0x2710 = 100.00
    answer[6 + 4 + 6 + 1] = 0x27;
    fs.answer(0x00, answer);
    ASSERT_EQ(driver.readCounters(0, counters), fsresult::kOk);
    EXPECT_EQ(counters.selector, 0);
    EXPECT_EQ(counters.receipts, 7u);
    EXPECT_EQ(counters.income.count, 3);
    EXPECT_EQ(counters.income.cash, Decimal(100, 10000));
    EXPECT_EQ(counters.cashBalance(), 10000);
}

TEST_F(FsDriverTest, ArchiveReadsAskForTheNumberAndCheckTheAnswer) {
    FsRep rep;
    fs.answer(0x00, {3, 1, 0xAA});
    EXPECT_EQ(driver.findDocument(0x01020304, rep), fsresult::kOk);
    EXPECT_EQ(lastRequest().code(), 0x40);
    EXPECT_EQ(lastRequest().data(), (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(rep.data(), (Bytes{3, 1, 0xAA}));
    fs.answer(0x00, {3, 1});
    EXPECT_EQ(driver.findDocument(5, rep), fsresult::kUnknown);

    fs.answer(0x00, Bytes(27, 0x11));
    EXPECT_EQ(driver.readOfdTicket(9, rep), fsresult::kOk);
    EXPECT_EQ(lastRequest().code(), 0x41);
    EXPECT_EQ(lastRequest().data(), u32Bytes(9));

    fs.answer(0x00, Bytes(47, 0x22));
    EXPECT_EQ(driver.readFiscalReport(2, rep), fsresult::kOk);
    EXPECT_EQ(lastRequest().code(), 0x43);
    EXPECT_EQ(lastRequest().data(), (Bytes{2}));
    fs.answer(0x00, Bytes(47, 0x22));
    EXPECT_EQ(driver.readFiscalReport(0, rep), fsresult::kOk);
    EXPECT_TRUE(lastRequest().data().empty());

    Tlv element;
    fs.answer(0x00, parameterAnswer(1013, "0001234567"));
    ASSERT_EQ(driver.readFiscalParameter(2, 1013, element), fsresult::kOk);
    EXPECT_EQ(lastRequest().code(), 0x44);
    EXPECT_EQ(lastRequest().data(), (Bytes{2, 0xF5, 0x03}));
    EXPECT_EQ(element.tag(), 1013);
    EXPECT_EQ(element.asText(), "0001234567");
    fs.answer(0x00, parameterAnswer(1013, "X"));
    ASSERT_EQ(driver.readFiscalParameter(0, 1013, element), fsresult::kOk);
    EXPECT_EQ(lastRequest().data(), (Bytes{0xF5, 0x03}));
    auto cut = parameterAnswer(1013, "ABC");
    cut.pop_back();
    fs.answer(0x00, cut);
    EXPECT_EQ(driver.readFiscalParameter(0, 1013, element), fsresult::kMalformed);
    EXPECT_EQ(element.tag(), 0);
}

class FsDocumentTlvTest : public FsDriverTest {
  protected:
    static Bytes encoded(std::uint16_t tag, const std::string& text) {
        Tlv element;
        element.setText(tag, text);
        return element.encode();
    }
    std::uint16_t read(std::uint16_t& type, TlvList& list) {
        return driver.readDocumentTlv(77, type, list);
    }
};

TEST_F(FsDocumentTlvTest, ReadsUntilTheEndOfTheDocument) {
    fs.answer(0x00, {0x03, 0x00, 0xFF, 0xFF});
    fs.answer(0x00, encoded(1048, "ООО"));
    fs.answer(0x00, encoded(1037, "0000000001000001"));
    fs.answer(0x88);  // end of the document, nothing more
    std::uint16_t type = 0;
    TlvList list;
    ASSERT_EQ(read(type, list), fsresult::kOk);
    EXPECT_EQ(type, 3);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].tag(), 1048);
    EXPECT_EQ(list[1].asText(), "0000000001000001");
    ASSERT_EQ(fs.requests().size(), 4u);
    EXPECT_EQ(fs.requests()[0], FsReq(0x45, u32Bytes(77)).toFrame());
    EXPECT_EQ(fs.requests()[3], FsReq(0x46).toFrame());

    // The last answer may still carry an element.
    fs.answer(0x00, {0x0B, 0x00});
    fs.answer(0x88, encoded(1077, "SIGN"));
    ASSERT_EQ(read(type, list), fsresult::kOk);
    EXPECT_EQ(type, 11);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].tag(), 1077);
}

TEST_F(FsDocumentTlvTest, FailuresLeaveNothingRead) {
    std::uint16_t type = 0;
    TlvList list;
    struct Case {
        const char* name;
        std::function<void()> script;
        std::uint16_t result;
    };
    auto badCrc = ScriptedFs::frame(0x00, encoded(1048, "A"));
    badCrc[badCrc.size() - 1] ^= 0x01;
    auto cut = encoded(1048, "ABC");
    cut.pop_back();
    const Case cases[] = {
        {"document not found", [&] { fs.answer(0x88); }, 0x0508},
        {"no document type", [&] { fs.answer(0x00, {0x03}); }, fsresult::kMalformed},
        {"FS error in the middle",
         [&] {
             fs.answer(0x00, {0x03, 0x00});
             fs.answer(0x00, encoded(1048, "A"));
             fs.answer(0x82);
         },
         0x0502},
        {"no answer in the middle",
         [&] {
             fs.answer(0x00, {0x03, 0x00});
             fs.answer(0x00, encoded(1048, "A"));
             fs.silence();
         },
         fsresult::kUnknown},
        {"corrupt frame in the middle",
         [&] {
             fs.answer(0x00, {0x03, 0x00});
             fs.answerRaw(badCrc);
         },
         fsresult::kMalformed},
        {"element cut short",
         [&] {
             fs.answer(0x00, {0x03, 0x00});
             fs.answer(0x00, cut);
         },
         fsresult::kMalformed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.script();
        EXPECT_EQ(read(type, list), c.result);
        EXPECT_EQ(type, 0);
        EXPECT_TRUE(list.empty());
        EXPECT_EQ(fs.pendingAnswers(), 0u);
    }
}

TEST_F(FsDocumentTlvTest, EndlessDocumentIsCutOff) {
    // An FS that never reports the end: the read stops at the size of the largest document.
    fs.answer(0x00, {0x03, 0x00});
    const auto piece = encoded(1048, std::string(1000, 'x'));
    for (int i = 0; i < 70; ++i)
        fs.answer(0x00, piece);
    std::uint16_t type = 0;
    TlvList list;
    EXPECT_EQ(read(type, list), fsresult::kMalformed);
    EXPECT_TRUE(list.empty());
    // 65 pieces fit in a document; the 66th is one too many.
    EXPECT_EQ(fs.requests().size(), 1u + 66u);
}

TEST_F(FsDriverTest, RegistrationParametersSkipWhatTheFsDoesNotHold) {
    const auto& tags = FsDriver::registrationTags();
    ASSERT_EQ(tags.size(), 31u);
    for (const auto tag : tags) {
        if (tag == 1036 || tag == 1157) {
            fs.answer(0x88);
        } else {
            fs.answer(0x00, parameterAnswer(tag, std::to_string(tag)));
        }
    }
    TlvList params;
    ASSERT_EQ(driver.readRegistrationParameters(3, params), fsresult::kOk);
    ASSERT_EQ(params.size(), 29u);
    EXPECT_EQ(params.front().tag(), 1001);
    EXPECT_EQ(params.back().tag(), 1205);
    ASSERT_EQ(fs.requests().size(), 31u);
    for (std::size_t i = 0; i < tags.size(); ++i) {
        FsRep parsed;
        (void)parsed.fromFrame(fs.requests()[i]);
        EXPECT_EQ(parsed.data(), (Bytes{3, static_cast<std::uint8_t>(tags[i]),
                                        static_cast<std::uint8_t>(tags[i] >> 8)}));
    }

    // Any other error stops the reading and hands nothing over.
    fs.answer(0x00, parameterAnswer(1001, "1"));
    fs.answer(0x83);
    EXPECT_EQ(driver.readRegistrationParameters(3, params), 0x0503);
    EXPECT_TRUE(params.empty());
    EXPECT_EQ(fs.requests().size(), 33u);
}

TEST_F(FsDriverTest, RereadingARegistrationNeedsAReportFromTheFs) {
    int checked = 0;
    const auto accept = [&](const FsRep& rep) {
        ++checked;
        return rep.data().size() == 47;
    };
    fs.answer(0x00, Bytes(47, 0x30));
    for (const auto tag : FsDriver::registrationTags()) {
        fs.answer(tag == 1013 ? 0x00 : 0x88, tag == 1013 ? parameterAnswer(tag, "1") : Bytes{});
    }
    EXPECT_EQ(driver.rereadRegistration(1, accept), fsresult::kOk);
    EXPECT_EQ(checked, 1);
    EXPECT_EQ(fs.requests().size(), 32u);
    EXPECT_EQ(fs.requests()[0], FsReq(0x43, {1}).toFrame());

    fs.answer(0x00, Bytes(30, 0x30));
    EXPECT_EQ(driver.rereadRegistration(1, accept), fsresult::kUnknown);
    EXPECT_EQ(fs.requests().size(), 33u);

    fs.answer(0x00, Bytes(47, 0x30));
    fs.answer(0x84);
    EXPECT_EQ(driver.rereadRegistration(1, accept), 0x0504);

    fs.answer(0x88);
    EXPECT_EQ(driver.rereadRegistration(1, accept), 0x0508);
}
