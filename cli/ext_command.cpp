// starloom-cli ext: evaluates single ExtFloat operations, from the command line
// or one per line from standard input.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli.h"

const char* const EXT_HELP =
    "usage: starloom-cli ext OP ARG...\n"
    "       starloom-cli ext --batch < lines\n\n"
    "Evaluates one ExtFloat operation and prints one result line.\n\n"
    "Operations (W = ExtFloat word '0x' + 16 hex digits, D = double in decimal or\n"
    "C hex-float, I = signed decimal integer, U = unsigned decimal integer):\n"
    "  add W W, sub W W, mul W W, div W W, pow W W   -> W\n"
    "  neg W, sqrt W, invsqrt W, log2 W              -> W\n"
    "  sin W, cos W                                  -> W (angles in turns)\n"
    "  atan2 Y X                                     -> W (angle in turns)\n"
    "  ge W W                                        -> true | false\n"
    "  fromdouble D                                  -> W\n"
    "  todouble W                                    -> D (printed with %.17g)\n"
    "  fromint32 I, fromuint64 U                     -> W\n"
    "  fromdecimal MANT POW10                        -> W (MANT * 10^POW10)\n"
    "  touint64 W, toint64 W                         -> integer\n"
    "  scalepow2 W K                                 -> W (W * 2^K)\n\n"
    "Words print as 0x%016X. An operation whose exponent overflows prints\n"
    "'overflow'. A malformed line prints 'error: ' and the reason; the exit\n"
    "status is then 2.\n\n"
    "With --batch, each line of standard input is one 'OP ARG...' and gets one\n"
    "result line, in order; malformed lines print their error and the batch\n"
    "goes on (the exit status is 2 if any line was malformed).\n";

namespace {

enum class Arg { Word, Double, Int32, Int64, Uint64 };

using Fn = void (*)(const std::vector<const char*>& args, std::string& out);

struct Op {
    const char* name;
    std::vector<Arg> args;
    Fn eval;
};

ExtFloat word(const char* text) {
    ExtFloat w;
    parseWord(text, w);
    return w;
}

void outWord(std::string& out, ExtFloat w) { out = formatWord(w); }

void outInt(std::string& out, long long v) { out = std::to_string(v); }

const Op OPS[] = {
    {"add", {Arg::Word, Arg::Word}, [](auto& a, auto& o) { outWord(o, add(word(a[0]), word(a[1]))); }},
    {"sub", {Arg::Word, Arg::Word}, [](auto& a, auto& o) { outWord(o, sub(word(a[0]), word(a[1]))); }},
    {"mul", {Arg::Word, Arg::Word}, [](auto& a, auto& o) { outWord(o, mul(word(a[0]), word(a[1]))); }},
    {"div", {Arg::Word, Arg::Word}, [](auto& a, auto& o) { outWord(o, div(word(a[0]), word(a[1]))); }},
    {"neg", {Arg::Word}, [](auto& a, auto& o) { outWord(o, neg(word(a[0]))); }},
    {"sqrt", {Arg::Word}, [](auto& a, auto& o) { outWord(o, sqrt(word(a[0]))); }},
    {"invsqrt", {Arg::Word}, [](auto& a, auto& o) { outWord(o, invSqrt(word(a[0]))); }},
    {"pow", {Arg::Word, Arg::Word}, [](auto& a, auto& o) { outWord(o, pow(word(a[0]), word(a[1]))); }},
    {"log2", {Arg::Word}, [](auto& a, auto& o) { outWord(o, log2(word(a[0]))); }},
    {"sin", {Arg::Word}, [](auto& a, auto& o) { outWord(o, sinTurns(word(a[0]))); }},
    {"cos", {Arg::Word}, [](auto& a, auto& o) { outWord(o, cosTurns(word(a[0]))); }},
    {"atan2", {Arg::Word, Arg::Word}, [](auto& a, auto& o) { outWord(o, atan2Turns(word(a[0]), word(a[1]))); }},
    {"ge", {Arg::Word, Arg::Word},
     [](auto& a, auto& o) { o = greaterEqual(word(a[0]), word(a[1])) ? "true" : "false"; }},
    {"fromdouble", {Arg::Double},
     [](auto& a, auto& o) {
         double d = 0;
         parseDouble(a[0], d);
         outWord(o, xf::fromDouble(d));
     }},
    {"todouble", {Arg::Word},
     [](auto& a, auto& o) {
         char buf[40];
         std::snprintf(buf, sizeof buf, "%.17g", toDouble(word(a[0])));
         o = buf;
     }},
    {"fromint32", {Arg::Int32},
     [](auto& a, auto& o) {
         int32_t v = 0;
         parseInt32(a[0], v);
         outWord(o, xf::fromInt32(v));
     }},
    {"fromuint64", {Arg::Uint64},
     [](auto& a, auto& o) {
         uint64_t v = 0;
         parseUint64(a[0], v);
         outWord(o, xf::fromUint64(v));
     }},
    {"fromdecimal", {Arg::Int64, Arg::Int32},
     [](auto& a, auto& o) {
         int64_t m = 0;
         int32_t p = 0;
         parseInt64(a[0], m);
         parseInt32(a[1], p);
         outWord(o, xf::fromDecimal(m, p));
     }},
    {"touint64", {Arg::Word}, [](auto& a, auto& o) { o = std::to_string(toUint64(word(a[0]))); }},
    {"toint64", {Arg::Word}, [](auto& a, auto& o) { outInt(o, toInt64(word(a[0]))); }},
    {"scalepow2", {Arg::Word, Arg::Int32},
     [](auto& a, auto& o) {
         int32_t k = 0;
         parseInt32(a[1], k);
         outWord(o, scalePow2(word(a[0]), k));
     }},
};

const char* argName(Arg a) {
    switch (a) {
        case Arg::Word: return "an ExtFloat word (0x + 16 hex digits)";
        case Arg::Double: return "a double";
        case Arg::Int32: return "a signed 32-bit integer";
        case Arg::Int64: return "a signed 64-bit integer";
        case Arg::Uint64: return "an unsigned 64-bit integer";
    }
    return "?";
}

bool argValid(Arg a, const char* text) {
    ExtFloat w;
    double d;
    int32_t i32;
    int64_t i64;
    uint64_t u64;
    switch (a) {
        case Arg::Word: return parseWord(text, w);
        case Arg::Double: return parseDouble(text, d);
        case Arg::Int32: return parseInt32(text, i32);
        case Arg::Int64: return parseInt64(text, i64);
        case Arg::Uint64: return parseUint64(text, u64);
    }
    return false;
}

// Evaluates "OP ARG..." into out; returns false (out = "error: ...") when malformed.
bool evaluate(const std::vector<const char*>& tokens, std::string& out) {
    if (tokens.empty()) {
        out = "error: empty line";
        return false;
    }
    for (const Op& op : OPS) {
        if (std::strcmp(op.name, tokens[0]) != 0) continue;
        const std::vector<const char*> args(tokens.begin() + 1, tokens.end());
        if (args.size() != op.args.size()) {
            out = std::string("error: ") + op.name + " takes " + std::to_string(op.args.size()) + " argument" +
                  (op.args.size() == 1 ? "" : "s") + ", got " + std::to_string(args.size());
            return false;
        }
        for (size_t i = 0; i < args.size(); ++i) {
            if (!argValid(op.args[i], args[i])) {
                out = std::string("error: argument ") + std::to_string(i + 1) + " of " + op.name + " ('" + args[i] +
                      "') is not " + argName(op.args[i]);
                return false;
            }
        }
        try {
            op.eval(args, out);
        } catch (const std::overflow_error&) {
            out = "overflow";
        }
        return true;
    }
    out = std::string("error: unknown operation '") + tokens[0] + "'";
    return false;
}

int runBatch() {
    char* line = nullptr;
    size_t capacity = 0;
    ssize_t length;
    bool anyError = false;
    std::vector<const char*> tokens;
    std::string out;
    while ((length = getline(&line, &capacity, stdin)) >= 0) {
        tokens.clear();
        // A NUL byte would end the line early for the tokeniser; the line is
        // malformed instead.
        if (std::memchr(line, '\0', static_cast<size_t>(length)) != nullptr) {
            anyError = true;
            static const char nulError[] = "error: NUL byte in the line\n";
            std::fwrite(nulError, 1, sizeof nulError - 1, stdout);
            continue;
        }
        for (char* tok = std::strtok(line, " \t\r\n"); tok; tok = std::strtok(nullptr, " \t\r\n")) tokens.push_back(tok);
        if (!evaluate(tokens, out)) anyError = true;
        out.push_back('\n');
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
    const bool readError = std::ferror(stdin) != 0;
    std::free(line);
    if (readError) {
        std::printf("error: cannot read standard input\n");
        return 2;
    }
    return anyError ? 2 : 0;
}

}  // namespace

int runExt(int argc, char** argv) {
    if (argc == 1 && std::strcmp(argv[0], "--batch") == 0) return runBatch();
    std::vector<const char*> tokens(argv, argv + argc);
    std::string out;
    const bool ok = evaluate(tokens, out);
    std::printf("%s\n", out.c_str());
    return ok ? 0 : 2;
}
