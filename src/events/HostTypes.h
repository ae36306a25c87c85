#pragma once

#include <cstdint>

// The types of the messages that hosts exchange among themselves, beside the
// library's events on the same stream. The library never queues nor handles
// them; their numbers lie above its catalogue, in one range that a host's
// framing accepts. Payloads: ControlTokenMessages.h (the presenter's token
// service) and JoinMessages.h (a viewer's admission).

constexpr uint32_t ZKH_REQUESTCONTROL = 0x100;
constexpr uint32_t ZKH_GRANTCONTROL = 0x101;
constexpr uint32_t ZKH_RELEASECONTROL = 0x102;
constexpr uint32_t ZKH_CHALLENGE = 0x103;
constexpr uint32_t ZKH_JOIN = 0x104;
constexpr uint32_t ZKH_WELCOME = 0x105;
constexpr uint32_t ZKH_REFUSED = 0x106;
constexpr uint32_t ZKH_DENYCONTROL = 0x107;
constexpr uint32_t kFirstHostType = ZKH_REQUESTCONTROL;
constexpr uint32_t kLastHostType = ZKH_DENYCONTROL;
