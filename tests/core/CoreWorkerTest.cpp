// The core worker without an FS and without a printer: the start-up completes, the service
// commands that need neither answer as they should, and those that do report their absence.

#include "core/CoreWorker.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "commands/BuildTime.hpp"
#include "core/CoreTestSupport.hpp"
#include "primitives/Cp866.hpp"
#include "primitives/Decimal.hpp"
#include "printer/LayoutWord.hpp"
#include "registration/CoreState.hpp"
#include "registration/ModelData.hpp"
#include "support/Fakes.hpp"
#include "support/TempDir.hpp"

namespace kkt {
namespace {

using namespace kkt::literals;

constexpr std::uint32_t kServicePassword = 0x5B1C0E47;
constexpr std::uint16_t kNoFs = 1534;
constexpr std::uint16_t kNoPrinter = 976;

Bytes withOperator(std::uint8_t number, std::uint32_t password, ByteView rest = {}) {
    ByteWriter w;
    w.u8(number).u32(password).bytes(rest);
    return w.take();
}
Bytes admin(ByteView rest = {}) {
    return withOperator(20, 30, rest);
}
Bytes service(ByteView rest = {}) {
    return withOperator(255, kServicePassword, rest);
}

void writeFile(const std::string& path, ByteView bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class CoreWorkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.ok());
        writeFile(eepromPath(), Bytes(4096, 0xFF));
        start();
    }

    std::string eepromPath() const { return dir.file("eeprom"); }

    CoreWorker::Paths paths() const {
        CoreWorker::Paths p;
        p.fsPort = dir.file("no-fs");
        p.printerPort = dir.file("no-printer");
        p.printerSettings = dir.file("PRINTER_SETTINGS");
        p.frSettings = dir.file("FR_SETTINGS");
        p.cashiers = dir.file("CASHIERS");
        p.eeprom = eepromPath();
        return p;
    }

    // A new start of the register on the same files.
    void start() {
        worker.reset();
        state = std::make_unique<CoreState>();
        worker = std::make_unique<CoreWorker>(paths(), *state, clock, shell, random);
        worker->initialise();
    }

    CoreApiResult run(std::uint16_t code, Bytes data = {}, std::uint32_t id = 77) {
        return worker->dispatch(CoreTransaction{code, id, std::move(data)});
    }

    test::TempDir dir;
    test::FakeClock clock{buildTime() + 86400};
    test::RecordingShell shell;
    test::FixedRandom random;
    std::unique_ptr<CoreState> state;
    std::unique_ptr<CoreWorker> worker;
};

TEST_F(CoreWorkerTest, StartsWithoutFsOrPrinterAndStillAnswers) {
    // An erased EEPROM: the id was made, the invalid record made the whole EEPROM be cleared.
    EXPECT_EQ(state->deviceId().size(), 16u);
    EXPECT_FALSE(state->modelData()->isValid());
    EXPECT_EQ(test::readFile(eepromPath()), std::string(4096, '\xFF'));
    EXPECT_TRUE(shell.commands().empty());  // the clock was plausible

    const auto time = run(259);
    EXPECT_EQ(time.code, 0);
    ByteWriter now;
    now.u32(static_cast<std::uint32_t>(clock.now()));
    EXPECT_EQ(time.data, now.data());

    EXPECT_EQ(run(255).code, kNoFs);  // fiscal, no handler: the FS pass-through
    EXPECT_EQ(run(26).code, kNoFs);
    EXPECT_EQ(run(418).code, kNoFs);
    EXPECT_EQ(run(600).code, 266);
    EXPECT_EQ(run(264).code, 266);
    EXPECT_EQ(run(448).code, kNoPrinter);
    EXPECT_EQ(run(453).code, kNoPrinter);
    EXPECT_EQ(run(452, {1, 2}).code, kNoPrinter);
    EXPECT_EQ(run(451, {0, 0, 0, 0}).code, kNoPrinter);
    EXPECT_EQ(run(454, {8, 0, 1, 0, 0, 0xFF, 0, 0, 0}).code, kNoPrinter);
    EXPECT_EQ(run(455, {4, 0, '1', '2', '5'}).code, kNoPrinter);
    EXPECT_EQ(run(456, {0, 9, 'Q', 'R', '1'}).code, kNoPrinter);
}

TEST_F(CoreWorkerTest, PrinterCommandsCheckTheirDataFirst) {
    struct Case {
        std::uint16_t code;
        Bytes data;
    };
    const Case cases[] = {
        {451, {0, 0, 0}},
        {452, {}},
        {454, {8, 0, 1, 0}},
        {455, {4, 0, 1, 2}},
        {456, {0, 0, 'Q', 'R'}},
        // 8 x 2 dots need 8 bitmap bytes (two padded rows); 7 are given.
        {454, {8, 0, 2, 0, 0, 1, 2, 3, 4, 5, 6, 7}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.code, c.data).code, 278) << c.code << " with " << c.data.size();
    }
}

TEST_F(CoreWorkerTest, FactoryRecordSerialNumberRules) {
    const std::string digits20 = "12345678901234567890";
    struct Case {
        Bytes data;
        std::uint16_t code;
    };
    const Case cases[] = {
        {service(asBytes("123")), 14},              // the service operator lacks right 0x0020
        {withOperator(20, 31, asBytes("1")), 274},  // wrong password
        {admin(asBytes(digits20 + "1")), 278},      // 21 digits
        {admin(asBytes("12345A7")), 278},           // a letter
        {admin(), 278},                             // nothing
        {admin(asBytes(digits20)), 0},
        {admin(asBytes("1")), 280},  // a valid record exists now
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(319, c.data).code, c.code) << asString(c.data);
    }

    const auto model = state->modelData();
    ASSERT_TRUE(model->isValid());
    EXPECT_EQ(model->factoryNumber(), digits20);
    EXPECT_EQ(model->modelName(), "KALINOR ZX-7000");
    EXPECT_EQ(model->version(), "012");
    const Bytes id = state->deviceId();
    EXPECT_EQ(model->checksum(), ModelData::checksumFor(2001, digits20, id));

    // The record and the id it was made with persist together: the next start keeps both.
    const std::string eeprom = test::readFile(eepromPath());
    EXPECT_EQ(eeprom.substr(0, 70), asString(model->bytes()));
    EXPECT_EQ(eeprom.substr(4080), asString(id));
    start();
    EXPECT_EQ(state->deviceId(), id);
    ASSERT_TRUE(state->modelData()->isValid());
    EXPECT_EQ(state->modelData()->factoryNumber(), digits20);
    EXPECT_EQ(state->modelAnswer(), model->answer());
}

TEST_F(CoreWorkerTest, FactoryRecordWriteFailureLeavesThePublishedRecordAlone) {
    // The EEPROM goes away after the start (a directory cannot be opened as the EEPROM file).
    ASSERT_EQ(::unlink(eepromPath().c_str()), 0);
    ASSERT_EQ(::mkdir(eepromPath().c_str(), 0700), 0);
    const ModelData before = *state->modelData();
    EXPECT_EQ(run(319, admin(asBytes("42"))).code, 281);
    EXPECT_EQ(*state->modelData(), before);
    EXPECT_FALSE(state->modelAnswer());
}

TEST_F(CoreWorkerTest, CashCommandsCheckOperatorAndAmountBeforeTheFs) {
    ByteWriter eight;
    eight.u64(1000);
    struct Case {
        std::uint16_t code;
        Bytes data;
        std::uint16_t result;
    };
    const Case cases[] = {
        {419, service(eight.data()), 14},  // rights 0x0806 only
        {419, withOperator(20, 1, eight.data()), 274},
        {419, {20, 30, 0, 0}, 275},
        {419, admin(Bytes(7, 1)), 1289},
        {419, admin(Bytes(8, 0)), 1289},
        {419, admin(Bytes(9, 1)), 1289},
        {420, admin(Bytes{0, 0, 0, 0, 0, 0, 0, 0x80}), 1289},  // negative
        {420, admin(Bytes(7, 1)), 1289},
        {419, admin(eight.data()), kNoFs},  // a good request reaches the cash restore
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.code, c.data).code, c.result) << c.code << " " << c.data.size();
    }
}

TEST_F(CoreWorkerTest, WithoutAnEepromTheFactoryRecordCannotBeWritten) {
    ASSERT_EQ(::unlink(eepromPath().c_str()), 0);
    start();
    EXPECT_TRUE(state->deviceId().empty());
    EXPECT_EQ(run(319, admin(asBytes("42"))).code, 281);
    EXPECT_FALSE(state->modelAnswer());
    EXPECT_FALSE(std::filesystem::exists(eepromPath()));
}

TEST_F(CoreWorkerTest, GarbledCommandsGetAResultCodeAndNeverReadPastTheirData) {
    const std::uint16_t codes[] = {4,   7,   26,  255, 256, 257, 258, 259, 260, 261,
                                   262, 319, 320, 321, 418, 419, 420, 439, 448, 449,
                                   450, 451, 452, 453, 454, 455, 456, 457, 600, 65535};
    const std::size_t sizes[] = {0, 1, 2, 4, 5, 6, 7, 8, 9, 13, 350, 351};
    std::uint32_t seed = 12345;
    const auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(seed >> 16);
    };
    for (const auto code : codes) {
        for (const auto size : sizes) {
            for (const bool asAdmin : {false, true}) {
                Bytes data(size);
                for (auto& b : data)
                    b = next();
                if (asAdmin)
                    data = admin(data);
                const auto r = run(code, data);
                EXPECT_NE(r.code, CoreApiResult::kUnset) << code << " " << size;
            }
        }
    }
    LayoutWord::setCurrentPaperWidth(60);
}

TEST_F(CoreWorkerTest, LoopRunsQueuedTransactionsInOrderEachFollowedByThePause) {
    CoreQueue host;
    ASSERT_TRUE(host.submit(CoreTransaction{259, 11, {}}, {}, {}));
    ASSERT_TRUE(host.submit(CoreTransaction{600, 12, {}}, {}, {}));
    const auto start = clock.monotonic();

    EXPECT_TRUE(worker->step());
    EXPECT_EQ(clock.monotonic() - start, std::chrono::milliseconds(20));
    EXPECT_TRUE(host.hasResult(11));
    EXPECT_FALSE(host.hasResult(12));
    EXPECT_TRUE(worker->step());
    EXPECT_EQ(clock.monotonic() - start, std::chrono::milliseconds(40));
    EXPECT_FALSE(worker->step());  // nothing queued: the loop still pauses
    EXPECT_EQ(clock.monotonic() - start, std::chrono::milliseconds(60));

    bool found = false;
    const auto first = host.takeResult(11, &found);
    EXPECT_TRUE(found);
    EXPECT_EQ(first.code, 0);
    EXPECT_EQ(first.id, 11u);
    const auto second = host.takeResult(12, &found);
    EXPECT_TRUE(found);
    EXPECT_EQ(second.code, 266);
    EXPECT_EQ(second.id, 12u);
}

TEST_F(CoreWorkerTest, LinkThreadReadsTheRecordsWhileTheCoreRewritesThem) {
    std::atomic<bool> done{false};
    CoreApiResult answer;
    std::thread link([&] {
        CoreQueue queue;
        const bool ok = queue.exec(CoreTransaction{319, 99, admin(asBytes("777"))}, answer);
        EXPECT_TRUE(ok);
        done = true;
    });
    std::thread reader([&] {
        while (!done) {
            if (const auto m = state->modelAnswer()) {
                EXPECT_EQ(m->size(), 66u);
            }
            EXPECT_EQ(state->deviceId().size(), 16u);
        }
    });
    while (!done)
        worker->step();
    link.join();
    reader.join();
    EXPECT_EQ(answer.code, 0);
    EXPECT_EQ(answer.id, 99u);
    ASSERT_TRUE(state->modelAnswer());
    EXPECT_EQ(state->modelData()->factoryNumber(), "777");
}

}  // namespace
}  // namespace kkt
