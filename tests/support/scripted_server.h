// A simulator's TCP server (remote SimConnect) as a test scripts it, on 127.0.0.1 at a port the
// kernel picks (or one given), spoken with the program's codec (simwire/). It runs on a thread of
// its own and serves one client at a time: a new connection replaces the one before (closed
// without reading, as a server that stopped reading never notices its client's close). It
// records every request it reads (header, decoded fields and bytes), answers each Open with
// RECV_OPEN unless told not to, streams data blocks for the client's latest data request when
// given a block maker, and carries out the test's actions in order on the present connection:
// bytes to send (whole messages, or split at chosen points with pauses between the pieces), a
// close, a reset (SO_LINGER 0), stopping and resuming reading.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "simwire/requests.h"
#include "simwire/stream.h"
#include "tests/support/scripted_messages.h"

namespace scripted {

// One request as the server read it. The decoded struct of its type is filled when the request
// passed zvsw_request_check; its names are copied into `name` and `units` (the structs' own
// string views are left empty).
struct Request {
    unsigned connection = 0;  // 1 for the first client accepted, then 2, ...
    long long at_ms = 0;      // the monotonic clock (plat_monotonic_ms) when it was read
    ZvswRequestHeader header;
    ZvswRequestCheck check = ZVSW_REQUEST_UNKNOWN_TYPE;
    std::vector<std::uint8_t> bytes;
    std::string name;   // the Open's client, a mapped or subscribed event, a datum
    std::string units;  // a datum's
    ZvswIdentity identity{};
    ZvswMapClientEventToSimEvent map;
    ZvswTransmitClientEvent transmit;
    ZvswAddToDataDefinition definition;
    ZvswRequestDataOnSimObject data_request;
    ZvswSubscribeToSystemEvent subscribe;
};

// The data block of the n-th message of a stream (n from 0), made on the server's thread.
using BlockMaker = std::function<std::vector<std::uint8_t>(unsigned n)>;

class Server {
public:
    // Listens on 127.0.0.1:`port` (0: the kernel picks). With `receive_buffer` > 0 the accepted
    // connections' receive buffer is that small (SO_RCVBUF), so that a client's requests fill its
    // own buffers soon once the server stops reading.
    explicit Server(unsigned port = 0, int receive_buffer = 0);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    unsigned port() const { return port_; }

    // The script. Settings hold for every connection from now on; actions are carried out in
    // order, each once a connection is there (they wait for one).
    void answer_open(bool yes);
    // Data blocks every `period_ms` for the present connection's latest data request, from the
    // next due time; a null maker stops them. Blocks that the client does not take are dropped
    // beyond 256 KiB waiting.
    void stream_blocks(BlockMaker maker, int period_ms);
    // Whether the present connection is read; each new connection is.
    void reading(bool yes);
    void send(std::vector<std::uint8_t> bytes);
    // The bytes in pieces cut at `points` (offsets into them, ascending), each piece on the wire
    // before the next, `pause_ms` apart.
    void send_split(const std::vector<std::uint8_t>& bytes, const std::vector<std::size_t>& points, int pause_ms);
    // Closes the connection once what waits is sent: after reading what the client sent (a FIN),
    // or with SO_LINGER 0 (a reset).
    void close_connection();
    void reset_connection();

    // What happened.
    std::vector<Request> requests() const;
    unsigned connections() const;
    // The longest time between two blocks the server made since the last call: a stall of the
    // test's own, which a client's stream cannot be blamed for.
    long long longest_block_gap_ms();
    bool connected() const;
    // Waits up to `timeout_ms` until `done` holds over the requests recorded; whether it did.
    bool wait_for(const std::function<bool(const std::vector<Request>&)>& done, int timeout_ms) const;
    // Waits until `count` requests of `type` were recorded from connection `connection` (0: any).
    bool wait_type(std::uint32_t type, std::size_t count, int timeout_ms, unsigned connection = 0) const;
    // Waits until `count` connections were accepted.
    bool wait_connections(unsigned count, int timeout_ms) const;
    // Waits until every action so far is carried out.
    bool wait_idle(int timeout_ms) const;

private:
    enum class Kind { Bytes, Pause, Close, Reset };
    struct Action {
        Kind kind;
        std::vector<std::uint8_t> bytes;
        int pause_ms = 0;
    };

    void run();
    void accept_client();
    void drop_client();
    void read_client();
    void record(const std::uint8_t* bytes, std::uint32_t size);
    void queue(const std::vector<std::uint8_t>& bytes, std::size_t limit);
    void write_client();
    void carry_out_actions(long long now);
    void stream(long long now);
    // Appends `actions` to the script in one step.
    void push(std::vector<Action> actions);

    int listener_ = -1;
    unsigned port_ = 0;
    int wake_[2] = {-1, -1};  // a pipe that ends the thread's wait when the script changes
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    bool answer_open_ = true;
    bool reading_ = true;
    BlockMaker maker_;
    int period_ms_ = 0;
    std::deque<Action> actions_;
    long long pause_until_ms_ = 0;

    // The present connection.
    int client_ = -1;
    unsigned connections_ = 0;
    ZvswReader reader_{ZVSW_REQUEST_HEADER};
    ZvswQueue out_;
    bool have_data_request_ = false;
    ZvswRequestDataOnSimObject data_request_;
    long long next_block_ms_ = 0;
    unsigned blocks_ = 0;
    long long last_block_at_ms_ = 0;
    long long longest_block_gap_ms_ = 0;

    std::vector<Request> requests_;
};

}  // namespace scripted
