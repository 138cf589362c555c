// SPDX-License-Identifier: MIT
#include "Lintara/platform/terminal/Keys.hpp"
#include "Lintara/platform/terminal/LineEditor.hpp"

#include <gtest/gtest.h>

using namespace lintara::terminal;
using Kind = Key::Kind;

namespace {
std::vector<Kind> kinds(const std::vector<Key>& keys)
{
    std::vector<Kind> out;
    for (const Key& key : keys) {
        out.push_back(key.kind);
    }
    return out;
}
} // namespace

TEST(KeyDecoder, SequencesOfTheCommonTerminals)
{
    KeyDecoder decoder;
    EXPECT_EQ(kinds(decoder.feed("\x1b[A\x1b[B\x1b[C\x1b[D")),
        (std::vector { Kind::up, Kind::down, Kind::right, Kind::left }));
    EXPECT_EQ(kinds(decoder.feed("\x1bOA\x1bOH\x1bOF")), (std::vector { Kind::up, Kind::home, Kind::end }));
    EXPECT_EQ(kinds(decoder.feed("\x1b[H\x1b[F\x1b[1~\x1b[4~\x1b[7~\x1b[8~\x1b[3~\x1b[5~\x1b[6~")),
        (std::vector { Kind::home, Kind::end, Kind::home, Kind::end, Kind::home, Kind::end, Kind::del, Kind::pageUp,
            Kind::pageDown }));
    EXPECT_EQ(kinds(decoder.feed("\r\n\r\x7f\x08\x03\x15\x01\x05\x1a")),
        (std::vector { Kind::enter, Kind::enter, Kind::backspace, Kind::backspace, Kind::interrupt, Kind::killLine,
            Kind::home, Kind::end, Kind::suspend }));
    // Modified arrows (Ctrl-Up: ESC [ 1 ; 5 A) still move; unknown sequences
    // (F5, a mouse report) vanish whole instead of typing their tails.
    EXPECT_EQ(kinds(decoder.feed("\x1b[1;5A\x1b[15~\x1b[<0;3;4M")), (std::vector { Kind::up }));
}

TEST(KeyDecoder, TextAndSequencesCutBetweenReads)
{
    KeyDecoder decoder;
    const std::string hangul = "한"; // three bytes
    EXPECT_TRUE(decoder.feed(hangul.substr(0, 1)).empty());
    EXPECT_TRUE(decoder.feed(hangul.substr(1, 1)).empty());
    EXPECT_EQ(decoder.feed(hangul.substr(2) + "a"), (std::vector<Key> { { Kind::text, "한" }, { Kind::text, "a" } }));
    EXPECT_TRUE(decoder.feed("\x1b[").empty());
    EXPECT_EQ(kinds(decoder.feed("3~")), (std::vector { Kind::del }));
    // An Escape byte that ends a read may begin a sequence still on its
    // way: it is the Escape key only once the wait for more gives up, and an
    // unfinished sequence then vanishes. Escape before a plain key is Escape,
    // then that key.
    EXPECT_TRUE(decoder.feed("\x1b").empty());
    EXPECT_EQ(kinds(decoder.feed("[B")), (std::vector { Kind::down }));
    EXPECT_TRUE(decoder.feed("\x1b").empty());
    EXPECT_EQ(kinds(decoder.giveUpWaiting()), (std::vector { Kind::escape }));
    EXPECT_TRUE(decoder.feed("\x1b[1;").empty());
    EXPECT_TRUE(decoder.giveUpWaiting().empty());
    EXPECT_EQ(decoder.feed("\x1bq"), (std::vector<Key> { { Kind::escape, {} }, { Kind::text, "q" } }));
    // An invalid byte is one replacement character, not a stuck decoder.
    EXPECT_EQ(decoder.feed("\xFFz"), (std::vector<Key> { { Kind::text, "\uFFFD" }, { Kind::text, "z" } }));
}

TEST(LineEditor, EditsInPlaceByCharacterNotByte)
{
    LineEditor field("60");
    EXPECT_EQ(field.caret(), 2u);
    field.killToStart();
    EXPECT_EQ(field.text(), "");
    field.insert("1두0");
    field.left();
    field.left();
    field.backspace(); // removes 1
    EXPECT_EQ(field.text(), "두0");
    EXPECT_EQ(field.caret(), 0u);
    field.deleteForward(); // removes 두 whole
    EXPECT_EQ(field.text(), "0");
    field.end();
    field.insert("9");
    field.home();
    field.insert("+");
    EXPECT_EQ(field.text(), "+09");
    field.right();
    field.killToStart();
    EXPECT_EQ(field.text(), "9");
    // At the ends the keys do nothing rather than go out of range.
    field.home();
    field.backspace();
    field.left();
    field.end();
    field.deleteForward();
    field.right();
    EXPECT_EQ(field.text(), "9");
    EXPECT_EQ(field.caret(), 1u);
    // Pasted controls, line breaks and bidirectional controls are dropped;
    // the field is one line.
    field.insert("\t1\n2\x1b\u202E\u2066");
    EXPECT_EQ(field.text(), "912");
}

TEST(LineEditor, AHugePasteStopsAtTheBound)
{
    // Every key redraws the field, so a field that grew without bound made
    // each pasted key cost more than the one before. 64 characters is far
    // more than any valid entry.
    LineEditor field("60");
    field.insert(std::string(100000, '7'));
    EXPECT_EQ(field.length(), 64u);
    field.home();
    field.insert("1");
    EXPECT_EQ(field.length(), 64u);
    EXPECT_EQ(field.text().substr(0, 3), "607");
}
