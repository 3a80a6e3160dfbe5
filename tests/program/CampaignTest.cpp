// The fault campaign: a clean run's LDAP requests are recorded through the
// proxy, then each request in turn is broken in each way the proxy knows.
// Whatever the program shows must agree with what the directory holds, and
// the program must succeed afterwards. This driver is one lane of
// tests/program/campaign.sh: lanes share nothing but the queue of cases,
// from which each takes the next case when it is free, and print their rows
// for the script to gather into one table.
#include "tests/program/ForestTest.h"
#include "tests/program/Proxy.h"
#include "tests/support/Environment.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace ProgramTest {
namespace {

// A stalled request leaves the program waiting for good: a stalled case
// waits only until a run that was going to show something would have shown
// it several times over (under a second each, loaded machine included).
const DWORD kWindowBound = 30000;       // start to dialog
const DWORD kStalledWindowBound = 5000;
const DWORD kFinalBound = 20000;        // "&Setup" to the final display
const DWORD kStalledFinalBound = 4000;
const DWORD kStopBound = 15000;         // "&Exit" or Cancel to the end of the process

// In a read of both entries: 1 when it holds the object named cn with every
// value the program writes, 0 when it does not hold it, -1 when it holds it
// with other values.
int Holds(const std::vector<Entry>& entries, const std::string& cn, const std::vector<Expected>& values) {
    for (const Entry& entry : entries)
        if (One(entry, "cn") == cn) return Differences(entry, values).empty() ? 1 : -1;
    return 0;
}

struct Directory {
    bool answered;  // the DC answered the read straight, as Administrator
    int attribute;
    int klass;
    std::string Describe() const {
        if (!answered) return "no answer";
        auto one = [](int h, const char* name) {
            return h == 1 ? std::string(name) : h == 0 ? std::string() : std::string(name) + "(other values)";
        };
        std::string text = one(attribute, "attribute");
        const std::string c = one(klass, "class");
        if (!c.empty()) text += (text.empty() ? "" : "+") + c;
        return text.empty() ? "nothing" : text;
    }
};

// Both objects in one read over LDAP from the DC itself, not through the
// program's provider or the proxy.
Directory ReadDirectory() {
    std::string attributes;
    for (const auto* values : {&kAttributeValues, &kClassValues})
        for (const Expected& value : *values) attributes += std::string(" ") + value.first;
    const ForestSearch read =
        SearchForest("ldapsearch", kSchemaDn, "one", "(|(cn=WexlorAdmin)(cn=WexlorEnterpriseUser))", attributes);
    if (read.status != 0) return {false, -1, -1};
    return {true, Holds(read.entries, "WexlorAdmin", kAttributeValues),
            Holds(read.entries, "WexlorEnterpriseUser", kClassValues)};
}

// How one run of the program ended.
struct Outcome {
    DWORD startMs = 0;   // CreateProcess to the dialog seen
    DWORD setupMs = 0;   // "&Setup" clicked to the final display seen
    DWORD exitMs = 0;    // "&Exit" clicked to the end of the process
    DWORD totalMs = 0;   // CreateProcess to the end of the process, or to the verdict while it runs
    std::string exitCode = "still-running";  // at the verdict; the test ends it then
    std::string shown;   // short form for the table
    bool success = false;
    bool namesStep = true;
    bool endedWell = true;  // code 2 within the bounds, or a discovery stall ended by us
    std::string problem;
};

// The text on one line of the table: its line breaks as spaces.
std::string OneLine(const std::wstring& text) {
    std::string narrow = Narrow(text);
    for (size_t at; (at = narrow.find("\r\n")) != std::string::npos;) narrow.replace(at, 2, " ");
    return narrow;
}

// The exe's exit code and its total time once it has ended; while it still
// runs at the verdict (the test ends it then), how long it has run.
void NoteEnd(Program& program, DWORD created, Outcome& run) {
    run.totalMs = GetTickCount() - created;
    DWORD code = 0;
    if (!program.WaitForExit(0, &code)) return;
    char text[32];
    std::snprintf(text, sizeof text, "%lu(0x%lX)", static_cast<unsigned long>(code), static_cast<unsigned long>(code));
    run.exitCode = text;
}

// One run of the program. A run whose own verdict is a failure, or that does
// not succeed where it should, leaves the screen of that moment to the
// evidence that shot names ("row-N LABEL"; empty: none), while the program
// still shows it.
Outcome RunProgram(bool stall, const std::string& shot = std::string(), bool successExpected = false) {
    Outcome run;
    auto keepScreen = [&] {
        if (!shot.empty()) AskAgent("evidence-screen " + shot);
    };
    const DWORD created = GetTickCount();
    DWORD mark = created;
    Program program(Adsi::Provider);
    if (!program.WaitForWindow(stall ? kStalledWindowBound : kWindowBound)) {
        run.shown = "no window";
        run.endedWell = stall;  // discovery blocks while the DC is silent
        if (!stall) {
            run.problem = "no dialog";
            keepScreen();
        }
        NoteEnd(program, created, run);
        return run;  // the program is ended as it goes out of scope
    }
    run.startMs = GetTickCount() - created;
    const bool atDiscovery = program.Text(IDCANCEL) == L"&Exit";
    if (!atDiscovery) {
        mark = GetTickCount();
        program.Click(IDC_SETUP);
        if (!program.WaitForFinal(stall ? kStalledFinalBound : kFinalBound)) {
            program.Click(IDCANCEL);  // Cancel while the job hangs
            DWORD code = 0;
            const DWORD start = GetTickCount();
            const bool ended = program.WaitForExit(kStopBound, &code);
            run.shown = "hung job; Cancel ended it in " + std::to_string(GetTickCount() - start) + " ms";
            run.endedWell = ended && code == 2;
            if (!run.endedWell) {
                run.problem = "Cancel did not end it with code 2";
                keepScreen();
            }
            NoteEnd(program, created, run);
            return run;
        }
        run.setupMs = GetTickCount() - mark;
    }
    const std::wstring result = program.Text(IDC_RESULT_TEXT);
    run.success = result == kSuccessText;
    if (run.success) {
        run.shown = "success";
    } else {
        run.shown = std::string(atDiscovery ? "at start: " : "") + OneLine(result);
        run.namesStep = result.rfind(L"Unable to ", 0) == 0 && result.find(L":\r\n") != std::wstring::npos;
        if (!run.namesStep) run.problem = "failure text names no step";
    }
    if (!run.namesStep || (successExpected && !run.success)) keepScreen();
    mark = GetTickCount();
    program.Click(IDCANCEL);
    DWORD code = 0;
    if (!program.WaitForExit(kStopBound, &code) || code != 2) {
        run.endedWell = false;
        run.problem = "did not end with code 2 after Exit";
        keepScreen();
    }
    run.exitMs = GetTickCount() - mark;
    NoteEnd(program, created, run);
    return run;
}

struct Row {
    int k;
    std::string operation;
    std::string fault;
    std::string shown;
    std::string holds;
    std::string recovery;
    std::string problem;  // empty when consistent
    bool untouched = false;  // nothing written and the DC answers: the forest may serve the next case
    bool proxied = false;    // the proxy was started for the case
    std::string facts;       // key=value words on each run, for the evidence
    std::string evidence;    // where a failing row's evidence was kept
};

// A run's facts for a failing row's evidence, under its label.
std::string Facts(const std::string& label, const Outcome& run) {
    return " " + label + "-exit-code=" + run.exitCode + " " + label + "-start-to-dialog-ms=" +
           (run.startMs ? std::to_string(run.startMs) : std::string("none")) + " " + label +
           "-total-ms=" + std::to_string(run.totalMs);
}

// Everything that a failing row's verdict rests on, kept by the agent
// (evidence-keep) under the row's name; where it went, or why it did not.
std::string KeepEvidence(const std::string& name, bool proxied, const std::string& facts) {
    const AgentReply kept = AskAgent("evidence-keep " + name + (proxied ? " --proxy" : "") + facts);
    std::string text = kept.output;
    std::replace(text.begin(), text.end(), '\n', ' ');
    text.erase(text.find_last_not_of(' ') + 1);
    return kept.status == 0 ? text : "none kept: " + text;
}

// Where each run's fixed costs went, for the figures at the end (ms).
struct Costs {
    std::vector<DWORD> fresh, proxyStart, proxyStop, start, setup, exit, read, agent;
    std::vector<DWORD> written, untouched, stalled;  // whole cases, by kind
    static void Add(std::vector<DWORD>& to, DWORD ms) {
        if (ms) to.push_back(ms);
    }
    void Add(const Outcome& run) {
        Add(start, run.startMs);
        Add(setup, run.setupMs);
        Add(exit, run.exitMs);
    }
};

DWORD Median(std::vector<DWORD> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

Directory TimedRead(Costs& costs) {
    const DWORD mark = GetTickCount();
    const Directory read = ReadDirectory();
    costs.read.push_back(GetTickCount() - mark);
    return read;
}

// A forest from which the recorded clean run succeeded; the copy of the case
// before is thrown away (killed, not stopped, by forest-fresh) unless that
// case left it as it found it.
bool FreshForest(Costs& costs, std::string* failure) {
    const DWORD mark = GetTickCount();
    const AgentReply fresh = AskAgent("forest-fresh", 120000);
    costs.fresh.push_back(GetTickCount() - mark);
    if (fresh.status != 0) *failure = "no fresh forest: " + fresh.output;
    return fresh.status == 0;
}

Row RunCase(const std::string& name, int k, const std::string& operation, const std::string& fault,
            size_t runLength, bool reuse, Costs& costs) {
    Row row;
    row.k = k;
    row.operation = operation;
    row.fault = fault;
    if (!reuse && !FreshForest(costs, &row.problem)) return row;
    Outcome run;
    DWORD mark = GetTickCount();
    row.proxied = true;
    {
        ProxyRun proxy("--fault " + fault + " --at " + std::to_string(k) + " --run-length " +
                       std::to_string(runLength));
        if (!proxy.started()) {
            row.problem = "proxy: " + proxy.failure();
            return row;
        }
        costs.proxyStart.push_back(GetTickCount() - mark);
        run = RunProgram(fault == "stall", name + " case");
        mark = GetTickCount();
    }
    costs.proxyStop.push_back(GetTickCount() - mark);
    costs.Add(run);
    row.facts = Facts("case", run);
    const Directory after = TimedRead(costs);
    row.shown = run.shown;
    row.holds = after.Describe();
    if (!run.endedWell || !run.namesStep) row.problem = run.problem;
    if (run.success && (after.attribute != 1 || after.klass != 1)) row.problem = "success shown without both objects";
    if (after.klass != 0 && after.attribute != 1) row.problem = "class without the attribute";
    if (after.attribute == -1 || after.klass == -1) row.problem = "an object with other values";
    if (!after.answered) row.problem = "the DC does not answer after it";

    // Nothing written, and the DC answered that read straight (no proxy):
    // the forest is in the state from which the recorded clean run
    // succeeded, and the program keeps nothing between runs, so a clean run
    // now would repeat that one. The next case runs on this forest.
    if (after.answered && after.attribute == 0 && after.klass == 0) {
        row.untouched = true;
        row.recovery = "untouched";
        return row;
    }
    // A clean run on the same forest, straight to the DC.
    const Outcome again = RunProgram(false, name + " again", true);
    costs.Add(again);
    row.facts += Facts("again", again);
    const Directory recovered = TimedRead(costs);
    row.recovery = again.success && recovered.attribute == 1 && recovered.klass == 1 ? "success" : again.shown;
    if (row.recovery != "success" && row.problem.empty()) row.problem = "the clean run after it failed";
    return row;
}

bool HasAnswer(const std::string& operation) { return operation != "unbind" && operation != "abandon"; }

struct Case {
    int k;
    std::string operation;
    const char* fault;
};

TEST(Campaign, EveryRequestOfARunBrokenInTurn) {
    const DWORD begin = GetTickCount();
    const std::string lane = Narrow(EnvironmentValue(L"CAMPAIGN_LANE"));
    Costs costs;
    std::string failure;
    ASSERT_TRUE(FreshForest(costs, &failure)) << failure;
    std::vector<ProxyRequest> recorded;
    {
        ProxyRun proxy;
        ASSERT_TRUE(proxy.started()) << proxy.failure();
        const Outcome clean = RunProgram(false, "clean run", true);
        if (!clean.success) {
            const std::string facts = Facts("clean", clean);
            FAIL() << "the clean run shows " << clean.shown << ";" << facts
                   << "; evidence: " << KeepEvidence("clean", true, facts);
        }
        costs.Add(clean);
        recorded = proxy.Requests();
    }
    ASSERT_FALSE(recorded.empty());
    // Every lane records its own clean run; the script checks that they agree.
    std::printf("the clean run made %zu requests:\n", recorded.size());
    for (const ProxyRequest& r : recorded) std::printf("  %2d %-8s %s\n", r.index, r.operation.c_str(), r.dn.c_str());

    // A request without an answer (unbind) can only be cut off.
    const char* const kFaults[] = {"reset-before", "reset-after", "busy", "unavailable", "other", "stall"};
    std::vector<Case> cases;
    for (const ProxyRequest& request : recorded)
        for (const char* fault : kFaults)
            if (HasAnswer(request.operation) || std::string(fault) == "reset-before")
                cases.push_back({request.index, request.operation, fault});
    // CAMPAIGN_CASES lists the numbers of the cases to run (repeats
    // allowed, comma-separated) where not every case is to run.
    std::vector<size_t> order;
    std::istringstream listed(Narrow(EnvironmentValue(L"CAMPAIGN_CASES")));
    for (std::string number; std::getline(listed, number, ',');) {
        order.push_back(std::strtoul(number.c_str(), nullptr, 10));
        ASSERT_LT(order.back(), cases.size()) << "CAMPAIGN_CASES names no case " << number;
    }
    if (order.empty())
        for (size_t n = 0; n < cases.size(); ++n) order.push_back(n);
    std::printf("cases %zu\n", order.size());
    std::fflush(stdout);

    // The clean run wrote both objects: the first case needs a fresh copy.
    bool reuse = false;
    int rows = 0;
    for (;;) {
        DWORD mark = GetTickCount();
        const AgentReply next = AskAgent("campaign-next");
        costs.agent.push_back(GetTickCount() - mark);  // the round trip of the least the agent does
        ASSERT_EQ(0, next.status) << next.output;
        const size_t n = std::strtoul(next.output.c_str(), nullptr, 10);
        if (n >= order.size()) break;
        const Case& c = cases[order[n]];
        mark = GetTickCount();
        const std::string name = "row-" + std::to_string(n);
        Row r = RunCase(name, c.k, c.operation, c.fault, recorded.size(), reuse, costs);
        (std::string(c.fault) == "stall" ? costs.stalled : r.untouched ? costs.untouched : costs.written)
            .push_back(GetTickCount() - mark);
        if (!r.problem.empty()) r.evidence = KeepEvidence(name, r.proxied, r.facts);
        reuse = r.untouched;
        ++rows;
        // "row N|" keeps the cases' order when the script gathers the lanes.
        std::printf("row %zu|%3d %-8s %-13s %-60s %-18s %s%s\n", n, r.k, r.operation.c_str(), r.fault.c_str(),
                    r.shown.c_str(), r.holds.c_str(), r.recovery.c_str(),
                    r.problem.empty() ? "" : ("  INCONSISTENT: " + r.problem + "; evidence: " + r.evidence).c_str());
        std::fflush(stdout);
        if (!r.problem.empty()) ADD_FAILURE() << "k=" << r.k << " " << r.fault << ": " << r.problem;
    }
    // "name median (count)" for each figure.
    std::string figures;
    auto add = [&](const char* name, const std::vector<DWORD>& v, const char* separator = ", ") {
        figures += std::string(name) + " " + std::to_string(Median(v)) + " (" + std::to_string(v.size()) + ")" +
                   separator;
    };
    add("fresh forest", costs.fresh);
    add("proxy start", costs.proxyStart);
    add("proxy stop", costs.proxyStop);
    add("start to dialog", costs.start);
    add("Setup to final", costs.setup);
    add("Exit to end", costs.exit);
    add("directory read", costs.read);
    add("agent round trip", costs.agent, "; whole cases: ");
    add("untouched", costs.untouched);
    add("written", costs.written);
    add("stalled", costs.stalled, "");
    std::printf("lane %s: %d rows in %lu s; fixed costs, medians (ms): %s\n", lane.c_str(), rows,
                static_cast<unsigned long>((GetTickCount() - begin) / 1000), figures.c_str());
}

}  // namespace
}  // namespace ProgramTest
