// The fault campaign: a clean run's LDAP requests are recorded through the
// proxy, then each request in turn is broken in each way the proxy knows,
// each time on a fresh forest. Whatever the program shows must agree with
// what the directory holds, and a clean run afterwards must succeed.
#include "tests/program/ForestTest.h"
#include "tests/program/Proxy.h"

#include <cstdio>
#include <sstream>

namespace ProgramTest {
namespace {

const DWORD kWindowBound = 30000;       // start to dialog
const DWORD kStalledWindowBound = 10000;
const DWORD kFinalBound = 20000;        // "&Setup" to the final display
const DWORD kStalledFinalBound = 8000;
const DWORD kStopBound = 15000;         // "&Exit" or Cancel to the end of the process

// What the schema must hold once the program has written its two objects.
const char* const kAttributeValues[] = {"attributeID: 1.3.6.1.4.1.32473.1.3.1", "attributeSyntax: 2.5.5.8",
                                        "isSingleValued: TRUE", "oMSyntax: 1", "searchFlags: 1",
                                        "lDAPDisplayName: WexlorAdmin"};
const char* const kClassValues[] = {"governsID: 1.3.6.1.4.1.32473.1.4", "mayContain: WexlorAdmin",
                                    "objectClassCategory: 3", "lDAPDisplayName: WexlorEnterpriseUser"};

// 1 when the schema holds the object with every value, 0 when it does not
// hold it, -1 when it holds it with other values (or cannot be read).
template <size_t N>
int Holds(const std::string& name, const char* const (&values)[N]) {
    std::string request = "schema-entry " + name;
    for (const char* v : values) request += " " + std::string(v, std::string(v).find(':'));
    const AgentReply reply = AskAgent(request);
    if (reply.status == -1) return -1;
    if (reply.output.find("dn: ") == std::string::npos) return 0;  // grep found nothing: status 1
    for (const char* v : values)
        if (reply.output.find(std::string(v) + "\n") == std::string::npos) return -1;
    return 1;
}

struct Directory {
    int attribute;
    int klass;
    std::string Describe() const {
        auto one = [](int h, const char* name) {
            return h == 1 ? std::string(name) : h == 0 ? std::string() : std::string(name) + "(other values)";
        };
        std::string text = one(attribute, "attribute");
        const std::string c = one(klass, "class");
        if (!c.empty()) text += (text.empty() ? "" : "+") + c;
        return text.empty() ? "nothing" : text;
    }
};

Directory ReadDirectory() {
    return {Holds("WexlorAdmin", kAttributeValues), Holds("WexlorEnterpriseUser", kClassValues)};
}

// How one run of the program ended.
struct Outcome {
    std::string shown;   // short form for the table
    bool success = false;
    bool namesStep = true;
    bool endedWell = true;  // code 2 within the bounds, or a discovery stall ended by us
    std::string problem;
};

std::string FirstLine(const std::wstring& text) {
    const std::string narrow = Narrow(text);
    const size_t cut = narrow.find("\\r\\n");
    return narrow.substr(0, cut);
}

Outcome RunProgram(bool stall) {
    Outcome run;
    Program program(Adsi::Provider);
    if (!program.WaitForWindow(stall ? kStalledWindowBound : kWindowBound)) {
        run.shown = "no window";
        run.endedWell = stall;  // discovery blocks while the DC is silent
        if (!stall) run.problem = "no dialog";
        return run;  // the program is ended as it goes out of scope
    }
    const bool atDiscovery = program.Text(2) == L"&Exit";
    if (!atDiscovery) {
        program.Click(1003);
        if (!WaitUntil([&] { return program.Text(2) == L"&Exit"; }, stall ? kStalledFinalBound : kFinalBound)) {
            program.Click(2);  // Cancel while the job hangs
            DWORD code = 0;
            const DWORD start = GetTickCount();
            const bool ended = program.WaitForExit(kStopBound, &code);
            run.shown = "hung job; Cancel ended it in " + std::to_string(GetTickCount() - start) + " ms";
            run.endedWell = ended && code == 2;
            if (!run.endedWell) run.problem = "Cancel did not end it with code 2";
            return run;
        }
    }
    const std::wstring result = program.Text(1013);
    run.success = result == kSuccessText;
    if (run.success) {
        run.shown = "success";
    } else {
        run.shown = std::string(atDiscovery ? "at start: " : "") + FirstLine(result);
        run.namesStep = result.rfind(L"Unable to ", 0) == 0 && result.find(L":\r\n") != std::wstring::npos;
        if (!run.namesStep) run.problem = "failure text names no step";
    }
    program.Click(2);
    DWORD code = 0;
    if (!program.WaitForExit(kStopBound, &code) || code != 2) {
        run.endedWell = false;
        run.problem = "did not end with code 2 after Exit";
    }
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
};

Row RunCase(int k, const std::string& operation, const std::string& fault, size_t runLength) {
    Row row{k, operation, fault, "", "", "", ""};
    // The copy of the case before is thrown away: killed, not stopped.
    AskAgent("forest-kill");
    const AgentReply fresh = AskAgent("forest-fresh", 120000);
    if (fresh.status != 0) {
        row.problem = "no fresh forest: " + fresh.output;
        return row;
    }
    Outcome run;
    {
        ProxyRun proxy("--fault " + fault + " --at " + std::to_string(k) + " --run-length " +
                       std::to_string(runLength));
        if (!proxy.started()) {
            row.problem = "proxy: " + proxy.failure();
            return row;
        }
        run = RunProgram(fault == "stall");
    }
    const Directory after = ReadDirectory();
    row.shown = run.shown;
    row.holds = after.Describe();
    if (!run.endedWell || !run.namesStep) row.problem = run.problem;
    if (run.success && (after.attribute != 1 || after.klass != 1)) row.problem = "success shown without both objects";
    if (after.klass != 0 && after.attribute != 1) row.problem = "class without the attribute";
    if (after.attribute == -1 || after.klass == -1) row.problem = "an object with other values";

    // A clean run on the same forest, straight to the DC.
    const Outcome again = RunProgram(false);
    const Directory recovered = ReadDirectory();
    row.recovery = again.success && recovered.attribute == 1 && recovered.klass == 1 ? "success" : again.shown;
    if (row.recovery != "success" && row.problem.empty()) row.problem = "the clean run after it failed";
    return row;
}

bool HasAnswer(const std::string& operation) { return operation != "unbind" && operation != "abandon"; }

TEST(Campaign, EveryRequestOfARunBrokenInTurn) {
    const DWORD begin = GetTickCount();
    ASSERT_EQ(0, AskAgent("forest-fresh", 120000).status);
    std::vector<ProxyRequest> recorded;
    {
        ProxyRun proxy;
        ASSERT_TRUE(proxy.started()) << proxy.failure();
        const Outcome clean = RunProgram(false);
        ASSERT_TRUE(clean.success) << "the clean run shows " << clean.shown;
        recorded = proxy.Requests();
    }
    ASSERT_FALSE(recorded.empty());
    std::printf("the clean run made %zu requests:\n", recorded.size());
    for (const ProxyRequest& r : recorded) std::printf("  %2d %-8s %s\n", r.index, r.operation.c_str(), r.dn.c_str());
    std::fflush(stdout);

    // A request without an answer (unbind) can only be cut off.
    const char* const kFaults[] = {"reset-before", "reset-after", "busy", "unavailable", "other", "stall"};
    std::vector<Row> rows;
    for (const ProxyRequest& request : recorded) {
        for (const char* fault : kFaults) {
            if (!HasAnswer(request.operation) && std::string(fault) != "reset-before") continue;
            rows.push_back(RunCase(request.index, request.operation, fault, recorded.size()));
            const Row& r = rows.back();
            std::printf("%3d %-8s %-13s %-60s %-18s %-8s %s\n", r.k, r.operation.c_str(), r.fault.c_str(),
                        r.shown.c_str(), r.holds.c_str(), r.recovery.c_str(),
                        r.problem.empty() ? "" : ("INCONSISTENT: " + r.problem).c_str());
            std::fflush(stdout);
        }
    }

    std::printf("\n%3s %-8s %-13s %-60s %-18s %s\n", "k", "request", "fault", "shown", "directory holds",
                "recovery");
    int consistent = 0;
    for (const Row& r : rows) {
        std::printf("%3d %-8s %-13s %-60s %-18s %s%s\n", r.k, r.operation.c_str(), r.fault.c_str(), r.shown.c_str(),
                    r.holds.c_str(), r.recovery.c_str(), r.problem.empty() ? "" : ("  INCONSISTENT: " + r.problem).c_str());
        if (r.problem.empty()) ++consistent;
        else ADD_FAILURE() << "k=" << r.k << " " << r.fault << ": " << r.problem;
    }
    std::printf("campaign took %lu s\n", static_cast<unsigned long>((GetTickCount() - begin) / 1000));
    std::printf("%zu faults injected, %d consistent\n", rows.size(), consistent);
}

}  // namespace
}  // namespace ProgramTest
