// A SimConnect client for the simulator tests: it owns the simulator's clock, opens the
// connection, keeps every message of the last dispatch, and reads values by name in the
// units asked for.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/SimConnect.h"
#include "sim/sim.h"

namespace simtest {

// The test's clock: a date, and the seconds the test has moved on since (kept apart so that
// small steps add up exactly).
inline constexpr double START = 1700000000.0;  // 2023-11-14 22:13:20 UTC
inline double date = START;
inline double elapsed = 0.0;
inline double test_clock() { return date + elapsed; }

using Bytes = std::vector<unsigned char>;

template <class T>
T at(const Bytes& bytes, std::size_t offset)
{
    T value{};
    if (offset + sizeof value <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

class Client {
public:
    // `event`: the event handle for the simulator to signal; `clock`: the simulator's clock.
    explicit Client(void* event = nullptr, zvsim_clock_fn clock = test_clock)
    {
        zvsim_clock = clock;
        EXPECT_EQ(SimConnect_Open(&handle, "test", nullptr, 0, event, 0), S_OK);
    }
    ~Client()
    {
        if (handle != nullptr) SimConnect_Close(handle);
    }

    HRESULT dispatch()
    {
        messages.clear();
        return SimConnect_CallDispatch(handle, &Client::collect, this);
    }
    // Moves the clock on by `frames` frames and dispatches once.
    HRESULT frame(int frames = 1)
    {
        elapsed += frames / static_cast<double>(ZVSIM_FRAMES_PER_SECOND);
        return dispatch();
    }

    std::vector<DWORD> ids() const
    {
        std::vector<DWORD> out;
        for (const Bytes& m : messages) out.push_back(at<DWORD>(m, 8));
        return out;
    }
    // The data block (after the message header) of the last message for `request`; empty if none.
    Bytes block(DWORD request) const
    {
        Bytes out;
        copy_block(request, out);
        return out;
    }
    // Copies that block into `out`; false, leaving `out` alone, if there is none.
    bool copy_block(DWORD request, Bytes& out) const
    {
        for (auto m = messages.rbegin(); m != messages.rend(); ++m)
            if (at<DWORD>(*m, 8) == SIMCONNECT_RECV_ID_SIMOBJECT_DATA && at<DWORD>(*m, 12) == request) {
                out.assign(m->begin() + SIMOBJECT_DATA_HEADER_SIZE, m->end());
                return true;
            }
        return false;
    }
    int count(DWORD id) const
    {
        int n = 0;
        for (DWORD i : ids()) n += i == id;
        return n;
    }

    DWORD map(const char* event)
    {
        SimConnect_MapClientEventToSimEvent(handle, next_event, event);
        return next_event++;
    }
    void send(const char* event, DWORD data = 0)
    {
        SimConnect_TransmitClientEvent(handle, SIMCONNECT_OBJECT_ID_USER, map(event), data,
                                       SIMCONNECT_GROUP_PRIORITY_HIGHEST, SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY);
    }

    HANDLE handle = nullptr;
    std::vector<Bytes> messages;

private:
    static void CALLBACK collect(SIMCONNECT_RECV* data, DWORD size, void* self)
    {
        auto* bytes = reinterpret_cast<const unsigned char*>(data);
        static_cast<Client*>(self)->messages.emplace_back(bytes, bytes + size);
    }
    DWORD next_event = 1000;
};

// Reads chosen variables as doubles, one data definition of its own, every frame.
class Probe {
public:
    static constexpr DWORD DEFINITION = 77;
    static constexpr DWORD REQUEST = 77;

    Probe(Client& client, std::vector<std::pair<const char*, const char*>> variables) : client_(client)
    {
        for (const auto& [name, units] : variables) {
            names_.emplace_back(name);
            SimConnect_AddToDataDefinition(client.handle, DEFINITION, name, units, SIMCONNECT_DATATYPE_FLOAT64);
        }
        SimConnect_RequestDataOnSimObject(client.handle, REQUEST, DEFINITION, SIMCONNECT_OBJECT_ID_USER,
                                          SIMCONNECT_PERIOD_VISUAL_FRAME);
        client.dispatch();
        client.copy_block(REQUEST, latest_);
    }

    // Flies on frame by frame for `seconds`, keeping the latest block.
    void fly(double seconds)
    {
        for (int i = 0; i < seconds * ZVSIM_FRAMES_PER_SECOND; ++i) {
            client_.frame();
            client_.copy_block(REQUEST, latest_);
        }
    }

    double operator[](const char* name) const
    {
        for (std::size_t i = 0; i < names_.size(); ++i)
            if (names_[i] == name) return at<double>(latest_, 8 * i);
        ADD_FAILURE() << "not probed: " << name;
        return 0.0;
    }

private:
    Client& client_;
    std::vector<std::string> names_;
    Bytes latest_;
};

}  // namespace simtest
