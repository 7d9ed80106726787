// SPDX-License-Identifier: GPL-3.0-or-later
#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>

#include "unit_type.h"

namespace sim {
namespace {

using Setter = std::function<bool(Options&, const std::string&)>;

// A whole-text integer: decimal, or hexadecimal after "0x".
std::optional<long> parseInt(const std::string& text) {
    if (text.empty()) return std::nullopt;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.c_str() + (hex ? 2 : 0);
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || end == begin || value < 0) return std::nullopt;
    return value;
}

std::optional<double> parseRate(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || value < 0.0 || value > 1.0) return std::nullopt;
    return value;
}

bool setMs(std::chrono::milliseconds& field, const std::string& text) {
    const auto value = parseInt(text);
    if (!value) return false;
    field = std::chrono::milliseconds(*value);
    return true;
}

bool setRate(double& field, const std::string& text) {
    const auto value = parseRate(text);
    if (value) field = *value;
    return value.has_value();
}

// "N" or "N:COUNT", COUNT a number or "always".
bool addCounted(std::vector<CountedFault>& list, const std::string& text) {
    const auto colon = text.find(':');
    const auto where = parseInt(text.substr(0, colon));
    if (!where) return false;
    CountedFault fault{static_cast<int>(*where), 1};
    if (colon != std::string::npos) {
        const std::string count = text.substr(colon + 1);
        const auto number = parseInt(count);
        if (count == "always") {
            fault.count = CountedFault::kAlways;
        } else if (number) {
            fault.count = static_cast<int>(*number);
        } else {
            return false;
        }
    }
    list.push_back(fault);
    return true;
}

bool addLate(Options& o, const std::string& text) {
    const auto colon = text.find(':');
    const auto page = parseInt(text.substr(0, colon));
    LatePage late{0, std::chrono::milliseconds(1000)};
    if (!page) return false;
    late.page = static_cast<int>(*page);
    if (colon != std::string::npos && !setMs(late.delay, text.substr(colon + 1))) return false;
    o.latePages.push_back(late);
    return true;
}

bool setWrongId(Options& o, const std::string& text) {
    const auto colon = text.find(':');
    o.wrongId = text.substr(0, colon);
    o.wrongIdCount = 1;
    if (colon == std::string::npos) return true;
    const auto count = parseInt(text.substr(colon + 1));
    if (count) o.wrongIdCount = static_cast<int>(*count);
    return count.has_value();
}

bool addEeLower(Options& o, const std::string& text) {
    if (text == "all") {
        o.eeLowerAll = true;
        return true;
    }
    const auto address = parseInt(text);
    if (address) o.eeLower.push_back(static_cast<int>(*address));
    return address.has_value();
}

bool setVanish(Options& o, const std::string& text) {
    if (text == "boot") {
        o.vanish = {VanishAt::Kind::kBoot, 0};
        return true;
    }
    const auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    const std::string kind = text.substr(0, colon);
    const auto value = parseInt(text.substr(colon + 1));
    if (!value || (kind != "page" && kind != "ee" && kind != "read")) return false;
    const VanishAt::Kind at = kind == "page" ? VanishAt::Kind::kPage
                              : kind == "ee" ? VanishAt::Kind::kEeprom
                                             : VanishAt::Kind::kEepromRead;
    o.vanish = {at, static_cast<int>(*value)};
    return true;
}

Setter text(std::string Options::*field) {
    return [field](Options& o, const std::string& v) {
        o.*field = v;
        return true;
    };
}

Setter flag(bool Options::*field) {
    return [field](Options& o, const std::string&) {
        o.*field = true;
        return true;
    };
}

Setter millis(std::chrono::milliseconds Options::*field) {
    return [field](Options& o, const std::string& v) { return setMs(o.*field, v); };
}

Setter rate(double Options::*field) {
    return [field](Options& o, const std::string& v) { return setRate(o.*field, v); };
}

Setter counted(std::vector<CountedFault> Options::*field) {
    return [field](Options& o, const std::string& v) { return addCounted(o.*field, v); };
}

bool setType(Options& o, const std::string& text) {
    o.type = text;
    return findUnitType(text) != nullptr;
}

bool setSeed(Options& o, const std::string& text) {
    const auto seed = parseInt(text);
    if (seed) o.seed = static_cast<std::uint32_t>(*seed);
    return seed.has_value();
}

const std::map<std::string, Setter>& valueOptions() {
    static const std::map<std::string, Setter> table = {
        {"--firmware", text(&Options::version)},
        {"--version", text(&Options::version)},  // the older spelling of --firmware
        {"--type", setType},
        {"--reply-delay", millis(&Options::replyDelay)},
        {"--restart-ms", millis(&Options::restart)},
        {"--adapter-latency", millis(&Options::adapterLatency)},
        {"--fault-rate", rate(&Options::faultRate)},
        {"--drop-rate", rate(&Options::dropRate)},
        {"--flip-rate", rate(&Options::flipRate)},
        {"--seed", setSeed},
        {"--garble-page", counted(&Options::garblePages)},
        {"--reject-page", counted(&Options::rejectPages)},
        {"--late-page", addLate},
        {"--wrong-id", setWrongId},
        {"--ee-lower", addEeLower},
        {"--ee-wrong-read", counted(&Options::eeWrongReads)},
        {"--ee-bad-read", counted(&Options::eeBadReads)},
        {"--vanish-at", setVanish},
        {"--ee-init", text(&Options::eeInit)},
        {"--dump", text(&Options::dump)},
        {"--stats", text(&Options::stats)},
        {"--control", text(&Options::control)},
        {"--ack", text(&Options::ack)},
        {"--path-file", text(&Options::pathFile)},
        {"--link", text(&Options::link)},
    };
    return table;
}

const std::map<std::string, Setter>& flagOptions() {
    static const std::map<std::string, Setter> table = {
        {"--silent", flag(&Options::silent)},
        {"--lower-hex", flag(&Options::lowerHex)},
        {"--pace", flag(&Options::pace)},
        {"--no-id", flag(&Options::noId)},
    };
    return table;
}

}  // namespace

std::optional<Options> parseOptions(int argc, char** argv, std::string& error) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (const auto f = flagOptions().find(name); f != flagOptions().end()) {
            f->second(options, "");
            continue;
        }
        const auto v = valueOptions().find(name);
        if (v == valueOptions().end()) {
            error = "unknown option " + name;
            return std::nullopt;
        }
        if (i + 1 >= argc) {
            error = name + " needs a value";
            return std::nullopt;
        }
        const std::string value = argv[++i];
        if (!v->second(options, value)) {
            error = "bad value for " + name + ": " + value;
            return std::nullopt;
        }
    }
    return options;
}

std::string usage() {
    return "usage: ondo-unit-sim [--type AlaR|NmaS|BmaS|EnbS|XobS] [--firmware TEXT]\n"
           "  [--pace] [--adapter-latency MS] [--reply-delay MS] [--restart-ms MS] [--silent]\n"
           "  [--lower-hex] [--seed N] [--fault-rate R] [--drop-rate R] [--flip-rate R]\n"
           "  [--garble-page N[:COUNT]] [--reject-page N[:COUNT|always]] [--late-page N[:MS]]\n"
           "  [--no-id] [--wrong-id TEXT[:COUNT]] [--ee-lower ADDR|all]\n"
           "  [--ee-wrong-read ADDR[:COUNT|always]] [--ee-bad-read ADDR[:COUNT|always]]\n"
           "  [--vanish-at page:N|ee:ADDR|read:ADDR|boot]\n"
           "  [--ee-init FILE] [--dump PREFIX] [--stats FILE] [--control FIFO] [--ack FILE]\n"
           "  [--path-file FILE] [--link PATH]\n"
           "Numbers are decimal, or hexadecimal after 0x. --version (-V) prints the program's "
           "version.\n"
           "See sim/README.md.\n";
}

}  // namespace sim
