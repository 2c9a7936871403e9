// One home for process state: every writable global of the demo and the
// engine has a slot that resets it, and a reset really brings a process back
// to its start: renders before and after a demo run give the same frames.
#include "source/processstate.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/md5.h>
}

#include "demo/clock.h"
#include "demo/commandline.h"
#include "demo/demostate.h"
#include "demo/effects/bars.h"
#include "demo/effects/squares.h"
#include "demo/entrypoint.h"
#include "demo/frameloop.h"
#include "demo/headlessrender.h"
#include "demo/music.h"
#include "display/graphics.h"
#include "source/settings.h"
#include "tests/support/scratchdir.h"
#include "tests/support/testpack.h"

namespace {

struct Global {
    std::string module, name;
    bool operator<(const Global& o) const { return module != o.module ? module < o.module : name < o.name; }
};

// Writable objects (.data, .bss) the static libraries define, from nm.
std::vector<Global> writableGlobals(const std::string& library) {
    const std::string command = "nm -C -A --defined-only --format=sysv '" + library + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::vector<Global> found;
    if (!pipe) return found;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        // archive:member.cpp.o:name|value|class|type|size|line|section
        std::vector<std::string> fields;
        std::string field;
        for (const char* c = line; *c && *c != '\n'; ++c) {
            if (*c == '|') {
                fields.push_back(field);
                field.clear();
            } else {
                field += *c;
            }
        }
        fields.push_back(field);
        if (fields.size() < 7) continue;
        auto trim = [](std::string s) {
            while (!s.empty() && s.back() == ' ') s.pop_back();
            while (!s.empty() && s.front() == ' ') s.erase(0, 1);
            return s;
        };
        const std::string section = trim(fields[6]), kind = trim(fields[2]);
        if (section.rfind(".data.rel.ro", 0) == 0 || kind == "V" || kind == "W") continue;
        if (section.rfind(".data", 0) != 0 && section.rfind(".bss", 0) != 0) continue;
        std::string where = trim(fields[0]);
        const std::size_t memberEnd = where.find(".cpp.o:");
        if (memberEnd == std::string::npos) continue;
        const std::string module = where.substr(where.find(':') + 1, memberEnd - where.find(':') - 1);
        std::string name = where.substr(memberEnd + 7);
        // Made by the compiler or a sanitizer, not by us (__odr_asan.*, guards).
        if (name.find("guard variable") != std::string::npos || name.rfind("DW.ref", 0) == 0 ||
            name.rfind("__", 0) == 0)
            continue;
        name = name.substr(0, name.find('['));  // [abi:cxx11]
        if (const std::size_t colons = name.rfind("::"); colons != std::string::npos) name = name.substr(colons + 2);
        if (name.size() > 9 && name.compare(name.size() - 9, 9, "StateSlot") == 0) continue;
        found.push_back({module, name});
    }
    pclose(pipe);
    return found;
}

TEST(ProcessState, EveryWritableGlobalOfTheDemoAndTheEngineHasASlot) {
    std::set<Global> covered;
    for (const ProcessStateEntry& e : processStateEntries()) covered.insert({e.module, e.name});
    // Writable, but nothing of a run is left in them.
    const std::set<Global> notState = {
        {"processstate", "all"},                  // the slots themselves
        {"exceptionserver", "msgInvalidPlatform"},  // const strings built before main
        {"exceptionserver", "msgTimerNotStarted"},
        {"frameloop", "shuffle"},                 // a CPU feature, fixed for the process
        {"videomode", "text"},                    // returned texts, rewritten on every call
        {"packlocation", "chosen"},
    };

    std::vector<Global> all;
    for (const char* library : {"/libqvo_demo.a", "/libqvo_engine.a"}) {
        const std::vector<Global> globals = writableGlobals(std::string(QVO_BINARY_DIR) + library);
        ASSERT_FALSE(globals.empty()) << "nm found nothing in " << library;
        all.insert(all.end(), globals.begin(), globals.end());
    }
    int checked = 0;
    for (const Global& g : all) {
        if (notState.count(g)) continue;
        ++checked;
        EXPECT_TRUE(covered.count(g)) << g.module << ": " << g.name << " is left behind by resetProcessState";
    }
    EXPECT_GT(checked, 50) << "the demo's state should be found";
}

// Every frame's MD5 of a whole render at 5 frames a second.
std::vector<std::string> renderDigests(const std::string& pack) {
    std::vector<std::string> digests;
    HeadlessRenderer(pack, 5.0f).run([&](int, const unsigned char* frame, int) {
        std::uint8_t md5[16];
        av_md5_sum(md5, frame, int(frame24Size));
        digests.emplace_back(reinterpret_cast<const char*>(md5), 16);
        return true;
    });
    return digests;
}

int firstDifference(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i)
        if (i >= a.size() || i >= b.size() || a[i] != b[i]) return int(i);
    return -1;
}

// The demo's own start-up, frame loop and shutdown in this process, in video
// mode without sound and without the AVI file, through the whole timeline.
void runDemoOnce(const std::string& folder) {
    char previous[4096];
    ASSERT_TRUE(getcwd(previous, sizeof previous));
    ASSERT_EQ(chdir(folder.c_str()), 0);
    const char* commandLine = "video noaudio fps 10";
    drawBars(nullptr);
    soundEnabled = wantsSound(commandLine);
    videoMode = wantsVideo(commandLine);
    videoFrameRate = float(requestedFrameRate(commandLine));
    initDemo();
    loadTitles();
    startMusic();
    playMusic();
    drawSquares(nullptr);
    loopStart = demoTime();
    std::vector<unsigned char> frame24(frame24Size);
    int frames = 0;
    while (framePass() && videoHandOff(frame24.data(), [](int) {})) ++frames;
    window->close();
    shutdownDemo();
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_EQ(frames, 1522) << "the whole timeline at 10 frames a second";
}

TEST(ProcessState, RendersBeforeAndAfterADemoRunAreTheSameFrameByFrame) {
    ScratchDir dir;
    writePack(dir.path("QuelVarnOssa.dat"), syntheticTitles());
    const std::vector<std::string> first = renderDigests(dir.path("QuelVarnOssa.dat"));
    ASSERT_EQ(first.size(), 762u);
    EXPECT_EQ(firstDifference(renderDigests(dir.path("QuelVarnOssa.dat")), first), -1)
        << "first differing frame of a second render in the same process";
    runDemoOnce(dir.path());
    EXPECT_EQ(firstDifference(renderDigests(dir.path("QuelVarnOssa.dat")), first), -1)
        << "first differing frame of a render after a demo run and its shutdown";
}

TEST(ProcessState, ResetPutsTheEffectsClockAndFlagsBackToProcessStart) {
    // A few of each kind: plain values, arrays, objects, the settings store.
    videoMode = true;
    soundEnabled = false;
    frameMark = 1234;
    glowLevel = 7;
    squareOn[4] = true;
    barTriggerCount = 3;
    musicStream = 9;
    buildCueLists();
    gridRand();
    storeDisplaySettings();
    resetProcessState();
    EXPECT_FALSE(videoMode);
    EXPECT_TRUE(soundEnabled);
    EXPECT_EQ(frameMark, 0);
    EXPECT_EQ(glowLevel, 0);
    EXPECT_FALSE(squareOn[4]);
    EXPECT_EQ(barTriggerCount, 0u);
    EXPECT_EQ(musicStream, 0u);
    EXPECT_EQ(gridCues.entries.size(), 1u) << "only the end mark";
    EXPECT_EQ(gridRand(), 41) << "the generator starts unseeded again";
    EXPECT_EQ(SettingsServer::getInstance()->getInt(SettingKey::Width), 0) << "an empty store";
}

}  // namespace
