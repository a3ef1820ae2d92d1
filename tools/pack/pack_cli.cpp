#include "pack_cli.h"

#include <cstdlib>
#include <ctime>

#include "description.h"
#include "pack_clock.h"
#include "pack_commands.h"
#include "pack_inform.h"
#include "pack_names.h"
#include "pack_platform.h"
#include "package_writer.h"
#include "progress_bar.h"

#ifndef ZV_PACK_VERSION
#define ZV_PACK_VERSION "0.0.0"
#endif

namespace zv::pack {
namespace {

struct UsageError {
    std::string message;
};

struct Parsed {
    std::string command;
    std::vector<std::string> operands;
    std::string output, stub;
    bool force = false, quiet = false;
    int threads = 0;
};

Parsed Parse(const std::vector<std::string>& args) {
    Parsed p;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
            return args[++i];
        };
        if (a == "-o" || a == "--output") p.output = value();
        else if (a == "--stub") p.stub = value();
        else if (a == "--force") p.force = true;
        else if (a == "-j" || a == "--threads") {
            std::string v = value();
            char* end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || n < 1 || n > 64) throw UsageError{a + " takes a number from 1 to 64"};
            p.threads = int(n);
        }
        else if (a == "-q" || a == "--quiet") p.quiet = true;
        else if (a == "-h" || a == "--help" || a == "--version") p.command = p.command.empty() ? a : p.command;
        else if (a.size() > 1 && a[0] == '-') throw UsageError{"unknown option " + a};
        else if (p.command.empty()) p.command = a;
        else p.operands.push_back(a);
    }
    return p;
}

void Expect(const Parsed& p, size_t operands, const char* shape) {
    if (p.operands.size() != operands) throw UsageError{std::string("usage: zolvex-pack ") + shape};
}

int Build(const Parsed& p, std::ostream& out, std::ostream& err, const CliEnvironment& env) {
    Expect(p, 1, "build DESCRIPTION.ini [-o OUT] [--stub STUB] [--force] [-j N] [--quiet]");
    if (!env.epochError.empty()) throw PackError(env.epochError);
    PackageDescription d = LoadDescription(p.operands[0]);
    for (const auto& w : d.warnings) err << "warning: " << w << "\n";
    BuildOptions o;
    o.output = p.output;
    o.stub = p.stub;
    o.force = p.force;
    o.threads = p.threads;
    o.now = env.haveEpoch ? env.epoch : env.now;
    o.clampDates = env.haveEpoch;
    ProgressBar bar(err, env.stderrIsTerminal && !p.quiet, "packing");
    o.progress = [&bar](uint64_t done, uint64_t total) { bar.Update(done, total); };
    BuildResult r = BuildPackage(d, o);
    bar.Finish();
    for (const auto& w : r.warnings) err << "warning: " << w << "\n";
    if (!p.quiet) {
        for (const auto& path : r.outputs) out << "Wrote " << path << " (" << StatPath(path).size << " bytes)\n";
        out << d.files.size() << " files, " << r.inputBytes << " bytes in " << r.fileBlocks << " blocks\n";
    }
    return kExitOk;
}

}  // namespace

std::string UsageText() {
    return "zolvex-pack " ZV_PACK_VERSION " - builds and inspects Zolvex setup packages\n"
           "\n"
           "usage:\n"
           "  zolvex-pack build DESCRIPTION.ini [-o OUT] [--stub STUB] [--force] [-j N] [--quiet]\n"
           "  zolvex-pack info FILE          trailer, flags, head items, languages\n"
           "  zolvex-pack list FILE          files with date, size, stored size, volume\n"
           "  zolvex-pack verify FILE        checks every block; nonzero exit when damaged\n"
           "  zolvex-pack extract FILE DIR   writes the files into DIR\n"
           "  zolvex-pack inform FILE TEXT OUT\n"
           "                                 an agent's announcement file: FILE's update token\n"
           "                                 (scrambled), then the text of TEXT\n"
           "  zolvex-pack --help | --version\n"
           "\n"
           "FILE is a package (the stub with its package, or a volume file NAME.001);\n"
           "the volumes of a spanned package are found beside it.\n"
           "build: -o overrides Output, --stub overrides Stub, --force accepts a stub template\n"
           "that fails its checks, -j N compresses N blocks at once (default: one per core; the\n"
           "package is the same), --quiet prints errors only. SOURCE_DATE_EPOCH, when set, is\n"
           "the package time and the latest file date (reproducible builds).\n"
           "Exit codes: 0 success, 1 failure or damaged package, 2 wrong command line.\n";
}

CliEnvironment ProcessEnvironment() {
    CliEnvironment env;
#ifdef _WIN32
    env.now = int64_t(_time64(nullptr));
#else
    env.now = int64_t(std::time(nullptr));
#endif
    if (const char* e = std::getenv("SOURCE_DATE_EPOCH")) {
        env.haveEpoch = ParseEpoch(e, env.epoch);
        if (!env.haveEpoch)
            env.epochError = std::string("SOURCE_DATE_EPOCH \"") + e + "\" is not a number of seconds";
    }
    env.stderrIsTerminal = StderrIsTerminal();
    return env;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliEnvironment& env) {
    try {
        Parsed p = Parse(args);
        if (p.command.empty()) throw UsageError{"no command given (try --help)"};
        if (p.command == "-h" || p.command == "--help") {
            out << UsageText();
            return kExitOk;
        }
        if (p.command == "--version") {
            out << "zolvex-pack " ZV_PACK_VERSION "\n";
            return kExitOk;
        }
        if (p.command != "build" && (!p.output.empty() || !p.stub.empty() || p.force || p.threads))
            throw UsageError{"-o, --stub, --force and -j belong to build"};
        ReadOptions read;
        read.progress = env.stderrIsTerminal && !p.quiet;
        if (p.command == "build") return Build(p, out, err, env);
        if (p.command == "info") {
            Expect(p, 1, "info FILE");
            return InfoCommand(p.operands[0], out, err);
        }
        if (p.command == "list") {
            Expect(p, 1, "list FILE");
            return ListCommand(p.operands[0], out, err);
        }
        if (p.command == "verify") {
            Expect(p, 1, "verify FILE");
            return VerifyCommand(p.operands[0], out, err, read);
        }
        if (p.command == "extract") {
            Expect(p, 2, "extract FILE DIR");
            return ExtractCommand(p.operands[0], p.operands[1], out, err, read);
        }
        if (p.command == "inform") {
            Expect(p, 3, "inform FILE TEXT OUT");
            const int64_t seed = env.haveEpoch ? env.epoch : env.now;
            return InformCommand(p.operands[0], p.operands[1], p.operands[2],
                                 uint32_t(uint64_t(seed) * 2654435761u), out, err);
        }
        throw UsageError{"unknown command \"" + p.command + "\" (try --help)"};
    } catch (const UsageError& e) {
        err << "zolvex-pack: " << e.message << "\n";
        return kExitUsage;
    } catch (const PackError& e) {
        err << "error: " << e.what() << "\n";
        return kExitFailed;
    } catch (const std::exception& e) {
        err << "error: " << e.what() << "\n";
        return kExitFailed;
    }
}

}  // namespace zv::pack
