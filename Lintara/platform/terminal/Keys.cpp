// SPDX-License-Identifier: MIT
#include "Keys.hpp"

#include "Cells.hpp"

#include "Lintara/text.hpp"

#include <optional>

namespace lintara::terminal {

namespace {
    using Kind = Key::Kind;

    // The single control bytes that are keys of their own: Backspace (DEL or
    // ^H), Ctrl-C, Ctrl-U, Ctrl-Z, and Ctrl-A / Ctrl-E as Home and End.
    std::optional<Kind> controlKey(unsigned char byte)
    {
        switch (byte) {
        case 0x7F:
        case 0x08: return Kind::backspace;
        case 0x03: return Kind::interrupt;
        case 0x15: return Kind::killLine;
        case 0x1A: return Kind::suspend;
        case 0x01: return Kind::home;
        case 0x05: return Kind::end;
        default: return std::nullopt;
        }
    }

    std::optional<Kind> finalKey(char final, std::string_view parameters)
    {
        switch (final) {
        case 'A': return Kind::up;
        case 'B': return Kind::down;
        case 'C': return Kind::right;
        case 'D': return Kind::left;
        case 'H': return Kind::home;
        case 'F': return Kind::end;
        case '~':
            if (parameters == "1" || parameters == "7") {
                return Kind::home;
            }
            if (parameters == "4" || parameters == "8") {
                return Kind::end;
            }
            if (parameters == "3") {
                return Kind::del;
            }
            if (parameters == "5") {
                return Kind::pageUp;
            }
            if (parameters == "6") {
                return Kind::pageDown;
            }
            return std::nullopt;
        default: return std::nullopt;
        }
    }
} // namespace

std::vector<Key> KeyDecoder::feed(std::string_view bytes)
{
    pending_.append(bytes);
    std::vector<Key> keys;
    std::size_t pos = 0;
    const std::string_view input = pending_;
    while (pos < input.size()) {
        const auto byte = static_cast<unsigned char>(input[pos]);
        if (byte == 0x1B) {
            if (pos + 1 == input.size()) {
                break; // Escape, or the start of a sequence: the next read tells
            }
            const char introducer = input[pos + 1];
            if (introducer != '[' && introducer != 'O') {
                // Escape followed by a key: Alt held, or Escape typed quickly
                // before another key. Either way Escape comes first.
                keys.push_back({ Kind::escape, {} });
                ++pos;
                continue;
            }
            // CSI or SS3: parameters, then one final byte from @ to ~.
            std::size_t end = pos + 2;
            while (end < input.size() && (input[end] < 0x40 || input[end] > 0x7E)) {
                ++end;
            }
            if (end == input.size()) {
                break; // the rest comes with the next read
            }
            const std::string_view parameters = input.substr(pos + 2, end - pos - 2);
            if (const std::optional<Kind> kind = finalKey(input[end], introducer == 'O' ? "" : parameters)) {
                keys.push_back({ *kind, {} });
            }
            pos = end + 1;
            continue;
        }
        if (byte == '\r' || byte == '\n') {
            keys.push_back({ Kind::enter, {} });
            // CR LF from a terminal that sends both is one Enter.
            pos += (byte == '\r' && pos + 1 < input.size() && input[pos + 1] == '\n') ? 2 : 1;
            continue;
        }
        if (const std::optional<Kind> control = controlKey(byte)) {
            keys.push_back({ *control, {} });
            ++pos;
            continue;
        }
        if (byte < 0x20) {
            ++pos; // other control keys mean nothing here
            continue;
        }
        if (cutOffAt(input, pos)) {
            break; // a character cut between two reads
        }
        std::size_t next = pos;
        const char32_t c = nextCodePoint(input, next);
        std::string text;
        appendUtf8(text, c);
        keys.push_back({ Kind::text, std::move(text) });
        pos = next;
    }
    pending_.erase(0, pos);
    return keys;
}

bool KeyDecoder::holdsEscape() const { return !pending_.empty() && pending_.front() == '\x1b'; }

std::vector<Key> KeyDecoder::giveUpWaiting()
{
    if (!holdsEscape()) {
        return {};
    }
    const bool lone = pending_.size() == 1;
    pending_.clear();
    if (lone) {
        return { { Kind::escape, {} } };
    }
    return {};
}

} // namespace lintara::terminal
