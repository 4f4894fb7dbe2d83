#include "sim/HayesModem.h"

#include <gtest/gtest.h>

#include <string>

namespace dlu::sim {
namespace {

using namespace std::chrono_literals;

// Drives a modem with a clock of its own: `at(ms)` moves the time, `send` types on the line.
struct Line {
    explicit Line(HayesModem::Settings settings = {}) : modem(std::move(settings)) {}

    void at(int ms) {
        now = start + std::chrono::milliseconds(ms);
        modem.tick(now, out);
    }
    void send(std::string_view text) {
        modem.fromLine({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, now, out);
    }
    std::string takeLine() {
        std::string text(out.toLine.begin(), out.toLine.end());
        out.toLine.clear();
        return text;
    }
    std::string takePlc() {
        std::string text(out.toPlc.begin(), out.toPlc.end());
        out.toPlc.clear();
        return text;
    }

    HayesModem modem;
    HayesModem::TimePoint start{};
    HayesModem::TimePoint now{};
    HayesModem::Output out;
};

HayesModem::Settings quiet(std::chrono::milliseconds delay = 0ms,
                           std::string answer = "CONNECT 9600") {
    HayesModem::Settings s;
    s.connectDelay = delay;
    s.callAnswer = std::move(answer);
    s.echo = false;
    return s;
}

TEST(HayesModem, CommandsAreEchoedAndAnsweredOk) {
    Line line;
    const struct {
        const char* typed;
        const char* answer;
    } cases[] = {
        {"AT\r", "AT\r\r\nOK\r\n"},
        {"ATZ\r\n", "ATZ\r\r\nOK\r\n"},
        {"at&f e1 v1 s0=0\r", "at&f e1 v1 s0=0\r\r\nOK\r\n"},
        {"hello\r", "hello\r"}, // not a command: echoed, not answered
        {"ATE0\r", "ATE0\r\r\nOK\r\n"},
        {"AT\r", "\r\nOK\r\n"}, // echo off now
        {"ATO\r", "\r\nNO CARRIER\r\n"},
    };
    for (const auto& c : cases) {
        line.send(c.typed);
        EXPECT_EQ(line.takeLine(), c.answer) << c.typed;
        EXPECT_EQ(line.takePlc(), "") << c.typed;
    }
    EXPECT_EQ(line.modem.state(), HayesModem::State::Command);
}

TEST(HayesModem, CallAnswersAfterTheDelay) {
    const struct {
        const char* answer;
        HayesModem::State after;
    } cases[] = {
        {"CONNECT 9600", HayesModem::State::Online},
        {"BUSY", HayesModem::State::Command},
        {"NO CARRIER", HayesModem::State::Command},
    };
    for (const auto& c : cases) {
        Line line(quiet(300ms, c.answer));
        line.send("ATD9,1234\r");
        EXPECT_EQ(line.modem.state(), HayesModem::State::Dialling);
        ASSERT_TRUE(line.modem.deadline().has_value());
        EXPECT_EQ(*line.modem.deadline() - line.start, 300ms);
        line.at(299);
        EXPECT_EQ(line.takeLine(), "") << c.answer;
        line.at(300);
        EXPECT_EQ(line.takeLine(), std::string("\r\n") + c.answer + "\r\n");
        EXPECT_EQ(line.modem.state(), c.after) << c.answer;
        EXPECT_EQ(line.modem.takeNewCall(), c.after == HayesModem::State::Online);
        EXPECT_FALSE(line.modem.takeNewCall()) << "reported once";
    }
}

TEST(HayesModem, AnyCharacterStopsTheDialling) {
    Line line(quiet(1000ms));
    line.send("ATD1234\r\n"); // the line feed of the line end does not count
    EXPECT_EQ(line.modem.state(), HayesModem::State::Dialling);
    line.at(10);
    line.send("\r");
    EXPECT_EQ(line.takeLine(), "\r\nNO CARRIER\r\n");
    line.at(2000);
    EXPECT_EQ(line.takeLine(), "") << "the stopped call never connects";
    EXPECT_FALSE(line.modem.takeNewCall());
}

TEST(HayesModem, OnlineBytesPassBothWaysUntilAGuardedEscape) {
    Line line(quiet());
    line.send("ATD1\r");
    line.at(0);
    ASSERT_TRUE(line.modem.online());
    EXPECT_TRUE(line.modem.takeNewCall());
    line.takeLine();

    // Data, "AT" and '+' inside data are all data while online.
    line.at(10);
    line.send("\x05\x64t+++AT\r");
    EXPECT_EQ(line.takePlc(), "\x05\x64t+++AT\r");
    EXPECT_EQ(line.takeLine(), "");

    // "+++" without a silence before it is data.
    line.at(200);
    line.send("+++");
    line.at(5000);
    EXPECT_TRUE(line.modem.online());
    EXPECT_EQ(line.takePlc(), "+++");

    // "+++" after a silence, but data follows within the guard time: still data.
    line.at(6500);
    line.send("+++");
    line.at(6600);
    line.send("x");
    EXPECT_EQ(line.takePlc(), "+++x");
    EXPECT_TRUE(line.modem.online());

    // Silence, "+++", silence: command mode, the call stays up.
    line.at(8000);
    line.send("++");
    line.at(8100);
    line.send("+");
    EXPECT_EQ(line.takePlc(), "");
    line.at(9099);
    EXPECT_TRUE(line.modem.online());
    line.at(9100);
    EXPECT_EQ(line.takeLine(), "\r\nOK\r\n");
    EXPECT_EQ(line.modem.state(), HayesModem::State::OnlineCommand);

    // ATO resumes the call; a new escape and ATH end it.
    line.send("ATO\r");
    EXPECT_EQ(line.takeLine(), "\r\nCONNECT 9600\r\n");
    EXPECT_TRUE(line.modem.online());
    EXPECT_FALSE(line.modem.takeNewCall()) << "the same call";
    line.at(11000);
    line.send("+++");
    line.at(12000);
    line.takeLine();
    line.send("ATH\r");
    EXPECT_EQ(line.takeLine(), "\r\nOK\r\n");
    EXPECT_EQ(line.modem.state(), HayesModem::State::Command);
    line.send("\x05\x64");
    EXPECT_EQ(line.takePlc(), "") << "nothing reaches the PLC after hanging up";
}

} // namespace
} // namespace dlu::sim
