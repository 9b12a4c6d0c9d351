#pragma once

// Counting the open TCP connections to one local port, as the kernel sees
// them (Linux, through the socket diagnostics of netlink, as `ss` does): all
// established client ends, and those that have sent more than a request line
// and a few headers, which on a server of short form requests are the uploads.

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <thread>

namespace tcpcount {

struct Counts
{
    int all = 0;     // established connections to the port
    int sending = 0; // of which more than `sendingBytes` were sent and acknowledged
};

// The kernel's number of the established state (netinet/tcp.h has it, but
// clashes with linux/tcp.h, which has the connection counters).
constexpr unsigned kEstablished = 1;

// Bytes a form request of the interface (a listing, a new folder) stays under.
constexpr unsigned long long sendingBytes = 4096;

// One look at every established IPv4 TCP socket; -1 in `all` when netlink
// cannot be used.
inline Counts sample(int fd, unsigned short port)
{
    Counts counts;
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof(message);
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.request.sdiag_family = AF_INET;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = 1u << kEstablished;
    message.request.idiag_ext = 1u << (INET_DIAG_INFO - 1);
    if (send(fd, &message, sizeof(message), 0) < 0) {
        counts.all = -1;
        return counts;
    }
    alignas(nlmsghdr) char buffer[32768];
    for (;;) {
        const ssize_t got = recv(fd, buffer, sizeof(buffer), 0);
        if (got <= 0) {
            counts.all = -1;
            return counts;
        }
        int left = int(got);
        for (auto *h = reinterpret_cast<nlmsghdr *>(buffer); NLMSG_OK(h, left);
             h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE)
                return counts;
            if (h->nlmsg_type == NLMSG_ERROR) {
                counts.all = -1;
                return counts;
            }
            const auto *diag = static_cast<const inet_diag_msg *>(NLMSG_DATA(h));
            if (ntohs(diag->id.idiag_dport) != port)
                continue;
            ++counts.all;
            int attrLeft = int(h->nlmsg_len - NLMSG_LENGTH(sizeof(*diag)));
            for (auto *a = reinterpret_cast<rtattr *>(const_cast<inet_diag_msg *>(diag) + 1);
                 RTA_OK(a, attrLeft); a = RTA_NEXT(a, attrLeft)) {
                if (a->rta_type != INET_DIAG_INFO ||
                    RTA_PAYLOAD(a) < offsetof(tcp_info, tcpi_bytes_acked) + 8)
                    continue;
                const auto *info = static_cast<const tcp_info *>(RTA_DATA(a));
                if (info->tcpi_bytes_acked > sendingBytes)
                    ++counts.sending;
            }
        }
    }
}

// Samples the connections to `port` every few milliseconds on a thread of its
// own and keeps the largest counts seen until stopped. Each look walks the
// kernel's whole connection table; at one a millisecond the sampler took most
// of a core from the work it measures.
class Sampler
{
public:
    static constexpr int kPeriodMs = 5;

    explicit Sampler(unsigned short port) : port(port)
    {
        thread = std::thread([this] { loop(); });
    }
    ~Sampler() { stop(); }

    Counts stop()
    {
        running.store(false);
        if (thread.joinable())
            thread.join();
        return Counts{mostAll.load(), mostSending.load()};
    }
    bool usable() const { return !failed.load(); }

private:
    void loop()
    {
        const int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
        if (fd < 0) {
            failed.store(true);
            return;
        }
        while (running.load()) {
            const Counts c = sample(fd, port);
            if (c.all < 0) {
                failed.store(true);
                break;
            }
            if (c.all > mostAll.load())
                mostAll.store(c.all);
            if (c.sending > mostSending.load())
                mostSending.store(c.sending);
            std::this_thread::sleep_for(std::chrono::milliseconds(kPeriodMs));
        }
        close(fd);
    }

    unsigned short port;
    std::thread thread;
    std::atomic<bool> running{true};
    std::atomic<bool> failed{false};
    std::atomic<int> mostAll{0};
    std::atomic<int> mostSending{0};
};

} // namespace tcpcount
