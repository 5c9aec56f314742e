// The scripted simulator server (see scripted_server.h): one thread that waits on the listening
// socket, the present connection and a wake pipe, and between waits reads requests, carries out
// the test's actions and makes the due data blocks.
#include "tests/support/scripted_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "platform/clock.h"

namespace scripted {

namespace {

// The longest the thread waits when nothing is due: how soon a stop or an action is noticed
// even if the wake pipe were missed.
constexpr int LONGEST_WAIT_MS = 20;
constexpr std::size_t READ_CHUNK = 64 * 1024;
constexpr std::size_t BLOCKS_WAITING_LIMIT = 256 * 1024;
// Actions' bytes are never dropped; this only bounds a queue that nobody takes.
constexpr std::size_t ACTIONS_WAITING_LIMIT = 64u << 20;

void set_nonblocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

}  // namespace

Server::Server(unsigned port, int receive_buffer)
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("socket");
    int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (receive_buffer > 0) setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(listener_, 4) != 0) {
        ::close(listener_);
        throw std::runtime_error("bind or listen on 127.0.0.1:" + std::to_string(port));
    }
    socklen_t len = sizeof at;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &len);
    port_ = ntohs(at.sin_port);
    set_nonblocking(listener_);
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe");
    thread_ = std::thread([this] { run(); });
}

Server::~Server()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    char c = 0;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
    thread_.join();
    if (client_ >= 0) ::close(client_);
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void Server::push(std::vector<Action> actions)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Action& a : actions) actions_.push_back(std::move(a));
    }
    char c = 0;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
}

void Server::answer_open(bool yes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    answer_open_ = yes;
}

void Server::stream_blocks(BlockMaker maker, int period_ms)
{
    std::lock_guard<std::mutex> lock(mutex_);
    maker_ = std::move(maker);
    period_ms_ = std::max(1, period_ms);
    next_block_ms_ = plat_monotonic_ms();
}

void Server::reading(bool yes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    reading_ = yes;
}

void Server::send(std::vector<std::uint8_t> bytes) { push({{Kind::Bytes, std::move(bytes), 0}}); }

// The pieces and pauses go in at once, so that no block comes between two pieces.
void Server::send_split(const std::vector<std::uint8_t>& bytes, const std::vector<std::size_t>& points, int pause_ms)
{
    std::vector<Action> actions;
    std::size_t from = 0;
    auto piece = [&](std::size_t to) {
        return std::vector<std::uint8_t>(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(to));
    };
    for (std::size_t at : points) {
        at = std::min(at, bytes.size());
        if (at <= from) continue;
        actions.push_back({Kind::Bytes, piece(at), 0});
        actions.push_back({Kind::Pause, {}, pause_ms});
        from = at;
    }
    actions.push_back({Kind::Bytes, piece(bytes.size()), 0});
    push(std::move(actions));
}

void Server::close_connection() { push({{Kind::Close, {}, 0}}); }
void Server::reset_connection() { push({{Kind::Reset, {}, 0}}); }

std::vector<Request> Server::requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

long long Server::longest_block_gap_ms()
{
    std::lock_guard<std::mutex> lock(mutex_);
    long long gap = longest_block_gap_ms_;
    longest_block_gap_ms_ = 0;
    return gap;
}

unsigned Server::connections() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
}

bool Server::connected() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return client_ >= 0;
}

bool Server::wait_for(const std::function<bool(const std::vector<Request>&)>& done, int timeout_ms) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return done(requests_); });
}

bool Server::wait_type(std::uint32_t type, std::size_t count, int timeout_ms, unsigned connection) const
{
    return wait_for(
        [&](const std::vector<Request>& all) {
            auto n = std::count_if(all.begin(), all.end(), [&](const Request& r) {
                return r.header.type == type && (connection == 0 || r.connection == connection);
            });
            return static_cast<std::size_t>(n) >= count;
        },
        timeout_ms);
}

bool Server::wait_connections(unsigned count, int timeout_ms) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return connections_ >= count; });
}

bool Server::wait_idle(int timeout_ms) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                             [&] { return actions_.empty() && zvsw_queue_waiting(out_) == 0; });
}

// ---- The server's thread. Everything below runs on it, with `mutex_` held except in poll.

void Server::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        long long now = plat_monotonic_ms();
        carry_out_actions(now);
        stream(now);
        write_client();
        changed_.notify_all();

        long long due = now + LONGEST_WAIT_MS;
        if (maker_ && have_data_request_) due = std::min(due, next_block_ms_);
        if (!actions_.empty() && pause_until_ms_ > now) due = std::min(due, pause_until_ms_);
        pollfd fds[3] = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}, {client_, 0, 0}};
        if (client_ >= 0) {
            if (reading_) fds[2].events |= POLLIN;
            if (zvsw_queue_waiting(out_) > 0) fds[2].events |= POLLOUT;
        }
        int wait_ms = static_cast<int>(std::max(0LL, due - now));
        lock.unlock();
        ::poll(fds, client_ >= 0 ? 3 : 2, wait_ms);
        lock.lock();
        if (fds[0].revents != 0) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        if (fds[1].revents != 0) accept_client();
        if (client_ >= 0 && reading_ && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0) read_client();
        // A connection that failed is closed even while not reading: poll would report it at once
        // on every turn.
        if (client_ >= 0 && !reading_ && (fds[2].revents & (POLLHUP | POLLERR)) != 0) drop_client();
    }
}

void Server::accept_client()
{
    int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    if (client_ >= 0) drop_client();
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    client_ = fd;
    ++connections_;
    reading_ = true;
    reader_ = ZvswReader(ZVSW_REQUEST_HEADER);
    out_ = ZvswQueue{};
    have_data_request_ = false;
    blocks_ = 0;
}

void Server::drop_client()
{
    ::close(client_);
    client_ = -1;
    out_ = ZvswQueue{};
    have_data_request_ = false;
}

void Server::read_client()
{
    for (;;) {
        std::uint8_t* space = zvsw_reader_space(reader_, READ_CHUNK);
        ssize_t n = ::recv(client_, space, READ_CHUNK, 0);
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            drop_client();  // the client closed or reset
            return;
        }
        zvsw_reader_filled(reader_, static_cast<std::size_t>(n));
        const std::uint8_t* message = nullptr;
        std::uint32_t size = 0;
        ZvswNext next;
        while ((next = zvsw_reader_next(reader_, message, size)) == ZVSW_NEXT_MESSAGE) record(message, size);
        if (next == ZVSW_NEXT_MALFORMED) {
            drop_client();
            return;
        }
    }
}

void Server::record(const std::uint8_t* bytes, std::uint32_t size)
{
    Request r;
    r.connection = connections_;
    r.at_ms = plat_monotonic_ms();
    r.bytes.assign(bytes, bytes + size);
    if (!zvsw_decode_request_header(bytes, size, r.header)) return;
    r.check = zvsw_request_check(r.header);
    if (r.check == ZVSW_REQUEST_OK) {
        switch (r.header.type) {
        case ZVSW_OPEN: {
            ZvswOpen open;
            zvsw_decode_request(bytes, size, open);
            r.name.assign(open.name);
            r.identity = open.identity;
            if (answer_open_) queue(open_message("KittyHawk", r.header.protocol), ACTIONS_WAITING_LIMIT);
            break;
        }
        case ZVSW_MAP_CLIENT_EVENT_TO_SIM_EVENT:
            zvsw_decode_request(bytes, size, r.map);
            r.name.assign(r.map.event_name);
            r.map.event_name = {};
            break;
        case ZVSW_TRANSMIT_CLIENT_EVENT: zvsw_decode_request(bytes, size, r.transmit); break;
        case ZVSW_ADD_TO_DATA_DEFINITION:
            zvsw_decode_request(bytes, size, r.definition);
            r.name.assign(r.definition.datum_name);
            r.units.assign(r.definition.units_name);
            r.definition.datum_name = r.definition.units_name = {};
            break;
        case ZVSW_REQUEST_DATA_ON_SIM_OBJECT:
            zvsw_decode_request(bytes, size, r.data_request);
            data_request_ = r.data_request;
            have_data_request_ = true;
            break;
        case ZVSW_SUBSCRIBE_TO_SYSTEM_EVENT:
            zvsw_decode_request(bytes, size, r.subscribe);
            r.name.assign(r.subscribe.event_name);
            r.subscribe.event_name = {};
            break;
        default: break;
        }
    }
    requests_.push_back(std::move(r));
}

void Server::queue(const std::vector<std::uint8_t>& bytes, std::size_t limit)
{
    if (client_ >= 0) zvsw_queue_append(out_, bytes.data(), bytes.size(), limit);
}

void Server::write_client()
{
    while (client_ >= 0 && zvsw_queue_waiting(out_) > 0) {
        ssize_t n = ::send(client_, zvsw_queue_front(out_), zvsw_queue_waiting(out_), MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (n <= 0) {
            drop_client();
            return;
        }
        zvsw_queue_taken(out_, static_cast<std::size_t>(n));
    }
}

// Actions in order: bytes go to the queue at once; a pause, a close or a reset waits until the
// queue is on the wire, and a pause then holds the next action for its time.
void Server::carry_out_actions(long long now)
{
    while (client_ >= 0 && !actions_.empty() && now >= pause_until_ms_) {
        Action& a = actions_.front();
        if (a.kind != Kind::Bytes) {
            write_client();
            if (client_ < 0 || zvsw_queue_waiting(out_) > 0) return;
        }
        switch (a.kind) {
        case Kind::Bytes: queue(a.bytes, ACTIONS_WAITING_LIMIT); break;
        case Kind::Pause: pause_until_ms_ = now + a.pause_ms; break;
        case Kind::Close:
            if (reading_) read_client();
            if (client_ >= 0) drop_client();
            break;
        case Kind::Reset: {
            linger l{1, 0};
            setsockopt(client_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            drop_client();
            break;
        }
        }
        actions_.pop_front();
    }
}

void Server::stream(long long now)
{
    // Blocks wait while an action does, so that none comes between the pieces of a message.
    if (!maker_ || !have_data_request_ || client_ < 0 || !actions_.empty()) return;
    while (now >= next_block_ms_) {
        if (last_block_at_ms_ > 0) longest_block_gap_ms_ = std::max(longest_block_gap_ms_, now - last_block_at_ms_);
        last_block_at_ms_ = now;
        if (zvsw_queue_waiting(out_) < BLOCKS_WAITING_LIMIT)
            queue(data_message(data_request_.request_id, data_request_.define_id, maker_(blocks_++),
                               ZVSW_PROTOCOL_KITTYHAWK),
                  ACTIONS_WAITING_LIMIT);
        next_block_ms_ += period_ms_;
        if (next_block_ms_ < now - 10 * period_ms_) next_block_ms_ = now;  // no burst after a stall
    }
}

}  // namespace scripted
