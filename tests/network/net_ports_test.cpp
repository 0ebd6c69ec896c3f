// The network-port layer on the simulated computer: what a port's registry
// key makes of it (ports.json), what asking finds (hosts.json), how long the
// asking takes on the virtual clock, and that no failure of a call leaves a
// socket, a key or Windows Sockets open, nor reports an error it did not get.
#include "network/net_ports.h"

#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harness.h"

namespace {

void load(const std::string& name) {
    std::ifstream in(std::string(MORVIK_TEST_SOURCE_DIR) + "/network/" + name, std::ios::binary);
    sim::load_scenario(std::string(std::istreambuf_iterator<char>(in), {}));
}

const wchar_t* w(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

// "host:tcp raw", "host:tcp lpr queue", "unknown", "wsd", then the answer when asked.
std::string describe(const NetPort& port) {
    static const char* const kAnswers[] = {"", "answers", "refused", "silent", "no_address", "failed"};
    std::string text = port.wsd || port.host[0] == 0 ? port.wsd ? "wsd" : "unknown" : u8(port.host);
    if (port.tcp != 0 || port.queue[0] != 0 || port.protocol != NET_PROTOCOL_RAW) {
        text +=
            ":" + std::to_string(port.tcp) + (port.protocol == NET_PROTOCOL_LPR ? " lpr " + u8(port.queue) : " raw");
    }
    if (port.answer == NET_NOT_ASKED) return text;
    return text + ", " + kAnswers[port.answer] + " " + std::to_string(port.ms) + " ms, " + std::to_string(port.win32);
}

// The ports of these names. The slots past the count hold an askable port
// named as the first, so that a loop running one slot too far shows.
std::unique_ptr<NetPorts> gather(const std::vector<const char16_t*>& names) {
    auto ports = std::make_unique<NetPorts>();
    for (NetPort& slot : ports->ports) {
        std::u16string port = names.empty() ? u"" : names[0], host = u"10.9.9.9";
        std::copy(port.c_str(), port.c_str() + port.size() + 1, slot.port);
        std::copy(host.c_str(), host.c_str() + host.size() + 1, slot.host);
        slot.tcp = 9100;
    }
    for (const char16_t* name : names) add_net_port(ports.get(), w(name));
    return ports;
}

using NetPortsTest = SimTest;

TEST_F(NetPortsTest, TheRegistryKeyGivesTheTargetOrNoGuess) {
    load("ports.json");
    sim::TcpPortKey name_255, name_256, name_256_no_nul;
    name_255.values.emplace_back(u"HostName", sim::reg_sz(std::u16string(255, u'h')));
    name_256.values.emplace_back(u"HostName", sim::reg_sz(std::u16string(256, u'h')));
    name_256_no_nul.values.emplace_back(u"HostName", sim::RegValue{REG_SZ, std::string(512, 'h')});
    sim::computer().tcp_ports.emplace_back(u"Long255", name_255);
    sim::computer().tcp_ports.emplace_back(u"Long256", name_256);
    sim::computer().tcp_ports.emplace_back(u"Long256NoNul", name_256_no_nul);
    const struct {
        const char16_t* port;
        std::string expected;  // "-": not a network port
    } kCases[] = {
        {u"IP_192.168.1.50", "192.168.1.50:9100 raw"},
        {u"kitchen", "kitchen.local:9101 raw"},
        {u"NoHostName", "10.0.0.2:9100 raw"},
        {u"Lpr", "10.0.0.3:515 lpr lp1"},
        {u"LprNoQueue", "10.0.0.4:515 lpr "},
        {u"RawBadQueue", "10.0.0.5:9100 raw"},
        {u"Port65535", "10.0.0.6:65535 raw"},
        {u"NoNul", "1.2.3.4:9100 raw"},
        {u"Long255", std::string(255, 'h') + ":9100 raw"},
        {u"Long256", "unknown"},
        {u"Long256NoNul", "unknown"},
        {u"Empty", "unknown"},
        {u"NoAddress", "unknown"},
        {u"Locked", "unknown"},
        {u"PortZero", "unknown"},
        {u"Port65536", "unknown"},
        {u"PortAsText", "unknown"},
        {u"PortShort", "unknown"},
        {u"HostAsNumber", "unknown"},
        {u"HostBinary", "unknown"},
        {u"HostBadAddressGood", "unknown"},
        {u"AddressBad", "unknown"},
        {u"Protocol3", "unknown"},
        {u"ProtocolText", "unknown"},
        {u"LprBadQueue", "unknown"},
        {u"WSD_Kitchen", "10.0.0.10:9100 raw"},  // the key decides, not the name
        {u"wsdl", "kitchen.local:9101 raw"},
        {u"WSD_Locked", "unknown"},
        {u"WSD-5d0d64d9-0b6e-4a3b", "wsd"},
        {u"wsd-1", "wsd"},
        {u"wsd", "wsd"},
        {u"USB001", "-"},
        {u"WS", "-"},
        {u"WSX1", "-"},
        {u"", "-"},
    };
    for (const auto& c : kCases) {
        NetPort port;
        bool network = read_net_port(w(c.port), &port);
        EXPECT_EQ(network ? describe(port) : "-", c.expected) << sim::utf16_to_utf8(c.port);
        if (network) {
            EXPECT_EQ(u8(port.port), sim::utf16_to_utf8(c.port));
        }
    }
    // A port name no key can have is not looked up.
    std::u16string too_long(256, u'p');
    NetPort port;
    unsigned opened = sim::computer().call_counts["RegOpenKeyExW"];
    EXPECT_FALSE(read_net_port(w(too_long.c_str()), &port));
    EXPECT_EQ(sim::computer().call_counts["RegOpenKeyExW"], opened);
}

// Each port once, its key read once; ports that are not network ports stay out.
TEST_F(NetPortsTest, PortsAreAddedOnceAndOnlyNetworkOnes) {
    load("ports.json");
    auto ports = gather({u"Kitchen", u"USB001", u"KITCHEN", u"kitchen", u"WSD-1", u"Locked", u"wsd-1"});
    ASSERT_EQ(ports->count, 3);
    EXPECT_EQ(u8(ports->ports[0].port) + " " + u8(ports->ports[1].port) + " " + u8(ports->ports[2].port),
              "Kitchen WSD-1 Locked");
    EXPECT_EQ(sim::computer().call_counts["RegOpenKeyExW"], 4u);  // Kitchen, USB001, WSD-1, Locked
    for (int i = 0; i < MAX_NET_PORTS; ++i) {
        std::u16string name = u"WSD-" + sim::utf8_to_utf16(std::to_string(i));
        add_net_port(ports.get(), w(name.c_str()));
    }
    EXPECT_EQ(ports->count, MAX_NET_PORTS);  // the rest is left out, not written past the end
}

// The five outcomes, after a delay and at once (loopback), the names each
// resolved once, and nothing asked of a port without an address.
TEST_F(NetPortsTest, AskingFindsEachOutcome) {
    load("hosts.json");
    auto ports = gather({u"Answers", u"Refused", u"Silent", u"Unreachable", u"NoAddress", u"ResolverFails", u"Kitchen",
                         u"KitchenLpr", u"Loopback", u"LoopbackRefused", u"LoopbackError", u"Unknown", u"WSD-1"});
    ask_net_ports(ports.get());
    std::string found;
    for (int i = 0; i < ports->count; ++i) found += u8(ports->ports[i].port) + ": " + describe(ports->ports[i]) + "\n";
    EXPECT_EQ(found,
              "Answers: 192.168.1.50:9100 raw, answers 300 ms, 0\n"
              "Refused: 192.168.1.50:9101 raw, refused 300 ms, 10061\n"
              "Silent: 192.168.1.52:9100 raw, silent 1000 ms, 0\n"
              "Unreachable: 192.168.1.51:9100 raw, failed 50 ms, 10065\n"
              "NoAddress: nowhere.local:9100 raw, no_address 0 ms, 11001\n"
              "ResolverFails: bar.local:9100 raw, failed 0 ms, 11002\n"
              "Kitchen: KITCHEN.local:9100 raw, answers 300 ms, 0\n"
              "KitchenLpr: kitchen.LOCAL:515 lpr lp, refused 300 ms, 10061\n"
              "Loopback: 127.0.0.1:9100 raw, answers 0 ms, 0\n"
              "LoopbackRefused: 127.0.0.1:9101 raw, refused 0 ms, 10061\n"
              "LoopbackError: 127.0.0.1:9102 raw, failed 0 ms, 10051\n"
              "Unknown: unknown\n"
              "WSD-1: wsd\n");
    // Each distinct host (ASCII case ignored) tried as an address text, each
    // distinct name then looked up on a thread; one connection per port with an address.
    EXPECT_EQ(sim::computer().call_counts["GetAddrInfoW"], 7u + 3u);
    EXPECT_EQ(sim::computer().call_counts["CreateThread"], 3u);
    EXPECT_EQ(sim::computer().network.connections.size(), 9u);
    EXPECT_EQ(sim::computer().call_counts["WSAStartup"], 1u);
    EXPECT_EQ(sim::computer().call_counts["WSACleanup"], 1u);
}

// However many printers are silent, the asking takes the limit once: ten
// silent printers, alone or with one answering after 1 or 300 ms, take
// exactly 1000 ms, also when the tick count wraps meanwhile.
TEST_F(NetPortsTest, SilentPrintersCostTheLimitOnce) {
    for (DWORD delay : {0u, 1u, 300u}) {  // 0: none answers
        sim::reset();
        sim::computer().clock.start_tick = 4294966896u;
        sim::NetHost& answering = sim::computer().network.hosts["10.0.0.1"];
        answering.tcp[9100] = {delay > 0 ? sim::TcpRule::answers : sim::TcpRule::silent, 0};
        answering.delay_ms = delay;
        auto ports = std::make_unique<NetPorts>();
        for (int i = 1; i <= 11; ++i) {
            std::u16string name = u"IP_10.0.0." + sim::utf8_to_utf16(std::to_string(i));
            sim::TcpPortKey key;
            key.values.emplace_back(u"IPAddress", sim::reg_sz(name.substr(3)));
            sim::computer().tcp_ports.emplace_back(name, key);
            add_net_port(ports.get(), w(name.c_str()));
        }
        ask_net_ports(ports.get());
        EXPECT_EQ(sim::computer().clock.elapsed_ms, 1000u) << delay;
        std::string first = delay > 0 ? "answers " + std::to_string(delay) : "silent 1000";
        EXPECT_EQ(describe(ports->ports[0]), "10.0.0.1:9100 raw, " + first + " ms, 0");
        for (int i = 1; i < 11; ++i) {
            EXPECT_EQ(describe(ports->ports[i]), "10.0.0." + std::to_string(i + 1) + ":9100 raw, silent 1000 ms, 0");
        }
        EXPECT_EQ(sim::computer().network.connections.size(), 11u);
    }
}

// Whatever call fails, with an error or without one: nothing stays open,
// every port still has an answer of its own, and no error named is one that
// an earlier or a clean-up call left behind.
TEST_F(NetPortsTest, EveryFailingCallLeavesNothingOpen) {
    allow_leaks();  // a failing closesocket or WSACleanup leaves its socket or startup through no fault of ours
    load("hosts.json");
    const std::vector<const char16_t*> names = {u"Answers", u"Refused", u"Silent", u"Kitchen", u"Loopback"};
    ask_net_ports(gather(names).get());
    const std::vector<std::string> calls = sim::computer().call_log;
    std::map<std::string, unsigned> seen;
    const DWORD kStale = 0xC1EA4;
    for (const std::string& function : calls) {
        unsigned nth = ++seen[function];
        for (std::optional<DWORD> error : {std::optional<DWORD>(10050), std::optional<DWORD>()}) {
            load("hosts.json");
            sim::computer().clean_up_error = kStale;
            sim::computer().stale_error = kStale;
            auto ports = gather(names);
            sim::computer().faults = {{function, nth, error}};
            ask_net_ports(ports.get());
            const std::string what = function + " #" + std::to_string(nth) + (error ? " with 10050" : " without");
            bool released = function == "closesocket" || function == "WSACleanup" || function == "CloseHandle";
            if (!released) {
                EXPECT_EQ(sim::leaks(), std::vector<std::string>{}) << what;
            }
            for (int i = 0; i < ports->count; ++i) {
                EXPECT_NE(ports->ports[i].win32, kStale) << what << " " << describe(ports->ports[i]);
            }
        }
    }
}

// What one failing call makes of the answers.
TEST_F(NetPortsTest, AFailingCallShowsInTheAnswersItConcerns) {
    const struct {
        sim::FaultRule fault;
        std::string expected;  // the answers of Answers, Refused, Silent, Kitchen, Loopback
    } kCases[] = {
        {{"WSAStartup", 1, 10091}, "- - - - -"},
        // The result, not a stale error, for both ports of the host.
        {{"GetAddrInfoW", 1, std::nullopt}, "failed/11003 failed/11003 silent answers answers"},
        {{"socket", 2, 10024}, "answers failed/10024 silent answers answers"},
        {{"ioctlsocket", 1, 10022}, "failed/10022 refused silent answers answers"},
        {{"connect", 3, 10065}, "answers refused failed/10065 answers answers"},
        // Only the pending ones: Loopback answered at once.
        {{"select", 1, 10050}, "failed/10050 failed/10050 failed/10050 failed/10050 answers"},
        {{"getsockopt", 1, 10038}, "answers failed/10038 silent answers answers"},
    };
    for (const auto& c : kCases) {
        load("hosts.json");
        sim::computer().faults = {c.fault};
        auto ports = gather({u"Answers", u"Refused", u"Silent", u"Kitchen", u"Loopback"});
        ask_net_ports(ports.get());
        std::string got;
        for (int i = 0; i < ports->count; ++i) {
            static const char* const kWords[] = {"-", "answers", "refused", "silent", "no_address", "failed"};
            const NetPort& port = ports->ports[i];
            got += std::string(i > 0 ? " " : "") + kWords[port.answer];
            if (port.answer == NET_FAILED) got += "/" + std::to_string(port.win32);
        }
        EXPECT_EQ(got, c.expected) << c.fault.function;
    }
}

}  // namespace
