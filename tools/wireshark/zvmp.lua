-- Wireshark dissector for ZVMP, the UDP protocol between the Zorvan FS2020 Pyx Plugin and its
-- cockpit panels: the 24-byte header, each message with its identifier split into kind, payload
-- length, group and item, the network's own messages (hello, stream request, stream stop), every
-- application message by name with its value and unit, and the radio block word by word.
-- Malformed packets get expert warnings: a length field that differs from the bytes that
-- arrived (the receiver drops such a packet), a message whose payload does not fit, a message
-- count that disagrees with the messages present.
--
-- Registered for UDP ports 2424 to 2426 and 59000 to 59999; any other port through
-- "Decode As...". One run: tshark -X lua_script:tools/wireshark/zvmp.lua -r capture.pcapng
-- To install it, copy this file into the personal Lua plugins folder (Help > About Wireshark >
-- Folders).
--
-- The network's numbers and the message tables below are generated from the program's own
-- (protocol/network.h, protocol/catalogue.h), which the monitor tool reads too: same names, units
-- and formats.

local zvmp = Proto("zvmp", "Zorvan ZVMP")

-- Generated from protocol/catalogue.h by zvmp-catalogue --lua: edit the catalogue, not this block.
local HEADER_SIZE = 24
local MAX_PACKET = 1472
-- Registered for the ports hellos go to and a program's port range.
local MULTICAST_PORTS = "2424-2426"
local PROGRAM_PORTS = "59000-59999"

local NODE_TYPES = {
    [0x13] = "Pyx plugin",
    [0x80] = "multicast target",
    [0x81] = "panel, full data",
    [0x84] = "panel, position data",
}
local KINDS = {
    [0x01] = "network, no payload",
    [0x02] = "network, one word",
    [0x22] = "int32",
    [0x26] = "float32",
    [0x27] = "float64",
    [0x2a] = "block of 32-bit words",
}
local HELLO = 0x02010101
local NETWORK = {
    [0x02010101] = "hello",
    [0x01000102] = "stream request",
    [0x01000103] = "stream stop",
}

local GROUPS = {
    [0x01] = "network",
    [0x11] = "position, attitude, speeds, heights",
    [0x12] = "altimeter setting, wind, outside air temperature",
    [0x14] = "aircraft speed limits",
    [0x15] = "landing gear and flaps",
    [0x16] = "autopilot",
    [0x17] = "EFIS control panel and navigation display",
    [0x18] = "flight director",
    [0x19] = "flight control inputs",
    [0x1d] = "radios and transponder",
}

-- Application messages: { name, what it is, unit, how it is shown, decimals }.
-- float: float32 or float64 by the kind; speed: knots, or Mach below 5; int: signed; word:
-- unsigned; hex: bit set; squawk: four digits; freq: hundredths shown with two decimals (NAV and
-- COM in 10 kHz steps as MHz, ADF in 1/100 kHz as kHz); radio: the twelve-word radio block.
local CATALOGUE = {
    -- group 0x11: position, attitude, speeds, heights
    [0x27021101] = { "lat", "latitude", "deg", "float", 6 },
    [0x27021102] = { "lon", "longitude", "deg", "float", 6 },
    [0x27021103] = { "ind-alt", "indicated altitude", "m", "float", 1 },
    [0x26011104] = { "pitch-att", "pitch attitude", "deg", "float", 2 },
    [0x26011105] = { "bank", "bank", "deg", "float", 2 },
    [0x26011106] = { "true-hdg", "true heading", "deg", "float", 1 },
    [0x26011107] = { "magvar", "magnetic variation", "deg", "float", 1 },
    [0x26011108] = { "aoa", "angle of attack", "deg", "float", 2 },
    [0x26011109] = { "drift", "drift angle", "deg", "float", 2 },
    [0x2601110a] = { "gs", "ground speed", "m/s", "float", 1 },
    [0x2601110b] = { "ias", "indicated airspeed", "kt", "float", 1 },
    [0x2601110c] = { "mach", "Mach number", "", "float", 3 },
    [0x2601110d] = { "tas", "true airspeed", "m/s", "float", 1 },
    [0x2601110e] = { "vsi", "vertical speed", "ft/min", "float", 0 },
    [0x26011110] = { "msl", "altitude above mean sea level", "m", "float", 1 },
    [0x26011111] = { "agl", "height above ground", "m", "float", 1 },
    -- group 0x12: altimeter setting, wind, outside air temperature
    [0x26011201] = { "baro", "altimeter setting", "inHg", "float", 2 },
    [0x26011202] = { "wind-spd", "wind speed", "kt", "float", 0 },
    [0x26011203] = { "wind-dir", "wind direction, true", "deg", "float", 0 },
    [0x26011204] = { "oat", "outside air temperature", "degC", "float", 1 },
    -- group 0x14: aircraft speed limits
    [0x26011401] = { "vs0", "stall speed, landing configuration", "kt", "float", 0 },
    [0x26011402] = { "vs1", "stall speed, clean", "kt", "float", 0 },
    [0x26011403] = { "vfe", "flaps extended speed", "kt", "float", 0 },
    [0x26011404] = { "limit-04", "speed limit 4, always 0", "kt", "float", 0 },
    [0x26011405] = { "vne", "never exceed speed", "kt", "float", 0 },
    [0x26011406] = { "mmo", "maximum operating Mach number", "", "float", 2 },
    -- group 0x15: landing gear and flaps
    [0x22011501] = { "gear", "gear handle, 1 down", "", "int", 0 },
    [0x26011503] = { "flaps", "flaps handle, fraction of full", "", "float", 2 },
    -- group 0x16: autopilot
    [0x26011601] = { "alt", "MCP altitude", "ft", "float", 0 },
    [0x26011602] = { "spd", "MCP speed", "kt/Mach", "speed", 0 },
    [0x26011603] = { "hdg", "MCP heading", "deg", "float", 0 },
    [0x26011604] = { "vs", "MCP vertical speed", "ft/min", "float", 0 },
    [0x22011611] = { "spd-mach", "speed mode, 1 Mach, 0 knots", "", "word", 0 },
    [0x22011612] = { "ap-source", "autopilot navigation source", "", "word", 0 },
    [0x22011621] = { "spd-hold", "speed mode status", "", "word", 0 },
    [0x22011622] = { "lnav-hold", "LNAV", "", "word", 0 },
    [0x22011623] = { "vnav-hold", "VNAV", "", "word", 0 },
    [0x22011624] = { "hdg-hold", "heading mode", "", "word", 0 },
    [0x22011625] = { "loc-hold", "localizer", "", "word", 0 },
    [0x22011626] = { "alt-hold", "altitude hold", "", "word", 0 },
    [0x22011627] = { "vs-hold", "vertical speed mode", "", "word", 0 },
    [0x22011628] = { "app-hold", "glideslope status, approach mode", "", "word", 0 },
    [0x22011629] = { "lc-hold", "level change", "", "word", 0 },
    [0x2201162a] = { "n1-hold", "N1", "", "word", 0 },
    [0x26011631] = { "crs1", "course 1", "deg", "float", 0 },
    [0x26011632] = { "crs2", "course 2", "deg", "float", 0 },
    -- group 0x17: EFIS control panel and navigation display
    [0x22011701] = { "efis-mode", "EFIS display mode", "", "word", 0 },
    [0x22011702] = { "efis-options", "EFIS option bit set", "", "hex", 0 },
    [0x26011703] = { "efis-range", "navigation display range", "nm", "float", 0 },
    [0x22011711] = { "nav1-sel", "navigation display NAV1 selector", "", "word", 0 },
    [0x22011712] = { "nav2-sel", "navigation display NAV2 selector", "", "word", 0 },
    -- group 0x18: flight director
    [0x22011801] = { "fd-mode", "flight director mode", "", "word", 0 },
    [0x26011802] = { "fd-pitch", "flight director pitch command", "deg", "float", 2 },
    [0x26011803] = { "fd-bank", "flight director bank command", "deg", "float", 2 },
    -- group 0x19: flight control inputs
    [0x26011901] = { "roll", "roll control input", "", "float", 2 },
    [0x26011902] = { "pitch", "pitch control input", "", "float", 2 },
    [0x26011903] = { "yaw", "yaw control input", "", "float", 2 },
    -- group 0x1d: radios and transponder
    [0x22011d11] = { "nav1", "NAV1 active frequency", "MHz", "freq", 2 },
    [0x22011d12] = { "nav2", "NAV2 active frequency", "MHz", "freq", 2 },
    [0x22011d13] = { "com1", "COM1 active frequency", "MHz", "freq", 2 },
    [0x22011d14] = { "com2", "COM2 active frequency", "MHz", "freq", 2 },
    [0x22011d15] = { "adf1", "ADF1 active frequency", "kHz", "freq", 2 },
    [0x22011d16] = { "adf2", "ADF2 active frequency", "kHz", "freq", 2 },
    [0x22011d21] = { "nav1s", "NAV1 standby frequency", "MHz", "freq", 2 },
    [0x22011d22] = { "nav2s", "NAV2 standby frequency", "MHz", "freq", 2 },
    [0x22011d23] = { "com1s", "COM1 standby frequency", "MHz", "freq", 2 },
    [0x22011d24] = { "com2s", "COM2 standby frequency", "MHz", "freq", 2 },
    [0x22011d25] = { "adf1s", "ADF1 standby frequency", "kHz", "freq", 2 },
    [0x22011d26] = { "adf2s", "ADF2 standby frequency", "kHz", "freq", 2 },
    [0x22011d31] = { "xpdr", "transponder code", "", "squawk", 0 },
    [0x2a0c1d31] = { "radios", "radio block", "", "radio", 0 },
    [0x22011d32] = { "xpdr-mode", "transponder mode", "", "word", 0 },
}

-- The radio block's words, each named by the single-radio message it stands for.
local RADIO_WORDS = {
    0x22011d11, 0x22011d21, 0x22011d12, 0x22011d22, 0x22011d13, 0x22011d23,
    0x22011d14, 0x22011d24, 0x22011d15, 0x22011d25, 0x22011d16, 0x22011d26,
}
-- End of the generated block.

local f = zvmp.fields
f.node_type = ProtoField.uint32("zvmp.node_type", "Node type word", base.HEX)
f.type_code = ProtoField.uint32("zvmp.type_code", "Type code", base.HEX, NODE_TYPES, 0xFF000000)
f.version = ProtoField.uint32("zvmp.version", "Protocol version", base.DEC, nil, 0x00FF0000)
f.reserved = ProtoField.uint32("zvmp.reserved", "Reserved", base.HEX)
f.length = ProtoField.uint32("zvmp.length", "Length", base.DEC)
f.msg_count = ProtoField.uint32("zvmp.msg_count", "Message count", base.DEC)
f.packet_type = ProtoField.uint32("zvmp.packet_type", "Packet type code", base.DEC)
f.msg = ProtoField.none("zvmp.msg", "Message")
f.msg_id = ProtoField.uint32("zvmp.msg.id", "Identifier", base.HEX)
f.msg_kind = ProtoField.uint32("zvmp.msg.kind", "Kind", base.HEX, KINDS, 0xFF000000)
f.msg_words = ProtoField.uint32("zvmp.msg.words", "Payload words", base.DEC, nil, 0x00FF0000)
f.msg_group = ProtoField.uint32("zvmp.msg.group", "Group", base.HEX, GROUPS, 0x0000FF00)
f.msg_item = ProtoField.uint32("zvmp.msg.item", "Item", base.HEX, nil, 0x000000FF)
f.msg_name = ProtoField.string("zvmp.msg.name", "Name")
f.msg_int = ProtoField.int32("zvmp.msg.int", "Value", base.DEC)
f.msg_uint = ProtoField.uint32("zvmp.msg.uint", "Value", base.DEC)
f.msg_float = ProtoField.float("zvmp.msg.float", "Value")
f.msg_double = ProtoField.double("zvmp.msg.double", "Value")
f.msg_value = ProtoField.string("zvmp.msg.value", "Decoded value")
f.msg_payload = ProtoField.bytes("zvmp.msg.payload", "Payload")
f.hello_node_type = ProtoField.uint32("zvmp.hello.node_type", "Hello node type word", base.HEX)
f.radio_word = ProtoField.uint32("zvmp.radio.word", "Radio word", base.DEC)

local e = {
    short = ProtoExpert.new("zvmp.short", "Packet shorter than the 24-byte header",
        expert.group.MALFORMED, expert.severity.ERROR),
    length_mismatch = ProtoExpert.new("zvmp.length_mismatch", "Length field differs from the bytes received",
        expert.group.MALFORMED, expert.severity.WARN),
    too_long = ProtoExpert.new("zvmp.too_long", "Packet longer than 1472 bytes",
        expert.group.PROTOCOL, expert.severity.WARN),
    does_not_fit = ProtoExpert.new("zvmp.does_not_fit", "Message does not fit in the packet",
        expert.group.MALFORMED, expert.severity.WARN),
    count_mismatch = ProtoExpert.new("zvmp.count_mismatch", "Message count differs from the messages present",
        expert.group.MALFORMED, expert.severity.WARN),
    unknown = ProtoExpert.new("zvmp.unknown", "Message identifier not in the catalogue",
        expert.group.UNDECODED, expert.severity.NOTE),
    not_walked = ProtoExpert.new("zvmp.not_walked", "Node type word below 0x40000: no message is delivered",
        expert.group.PROTOCOL, expert.severity.NOTE),
}
zvmp.experts = { e.short, e.length_mismatch, e.too_long, e.does_not_fit, e.count_mismatch, e.unknown, e.not_walked }

local function byte_of(word, shift)
    return math.floor(word / 2 ^ shift) % 256
end

-- As C's "%.Nf", without the lone minus sign of a value that rounds to zero.
local function fixed(v, decimals)
    local text = string.format("%." .. decimals .. "f", v)
    if text:match("^%-[0.]+$") then text = text:sub(2) end
    return text
end

local function hundredths(w)
    return string.format("%d.%02d", math.floor(w / 100), w % 100)
end

local function with_unit(text, unit)
    if unit == "" then return text end
    return text .. " " .. unit
end

local function node_type_text(word)
    return string.format("0x%08X (%s)", word, NODE_TYPES[byte_of(word, 24)] or "unknown type")
end

-- Adds the value of a catalogue message and returns its text with the unit.
local function add_value(tree, entry, payload)
    local show, unit, decimals = entry[4], entry[3], entry[5]
    if show == "float" or show == "speed" then
        local v = payload:le_float()
        tree:add_le(payload:len() == 8 and f.msg_double or f.msg_float, payload)
        if show == "speed" then
            if v < 5 then return fixed(v, 3) .. " Mach" end
            return fixed(v, 0) .. " kt"
        end
        return with_unit(fixed(v, decimals), unit)
    elseif show == "int" then
        tree:add_le(f.msg_int, payload)
        return with_unit(string.format("%d", payload:le_int()), unit)
    end
    local w = payload:le_uint()
    tree:add_le(f.msg_uint, payload)
    if show == "hex" then return string.format("0x%X", w) end
    if show == "squawk" then return string.format("%04d", w) end
    if show == "freq" then return with_unit(hundredths(w), unit) end
    return with_unit(string.format("%d", w), unit)
end

local function add_radio_block(tree, payload)
    local parts = {}
    for i, id in ipairs(RADIO_WORDS) do
        local word = CATALOGUE[id]
        local range = payload(4 * (i - 1), 4)
        local text = with_unit(hundredths(range:le_uint()), word[3])
        tree:add_le(f.radio_word, range):set_text(string.format("Word %d, %s (%s): %s", i - 1, word[1], word[2], text))
        parts[#parts + 1] = word[1] .. " " .. text
    end
    return table.concat(parts, ", ")
end

-- One message record at `offset` whose payload of `size` bytes fits; returns its name.
local function add_message(tree, tvb, offset, id, size, index)
    local entry = CATALOGUE[id]
    local name = (entry and entry[1]) or NETWORK[id] or string.format("0x%08x", id)
    local item = tree:add(f.msg, tvb(offset, 4 + size))
    local id_range = tvb(offset, 4)
    item:add_le(f.msg_id, id_range)
    item:add_le(f.msg_kind, id_range)
    item:add_le(f.msg_words, id_range)
    item:add_le(f.msg_group, id_range)
    item:add_le(f.msg_item, id_range)
    item:add(f.msg_name, id_range, name)
    local summary = name
    local payload = size > 0 and tvb(offset + 4, size) or nil
    if entry then
        local text = entry[4] == "radio" and add_radio_block(item, payload) or add_value(item, entry, payload)
        item:add(f.msg_value, payload, text)
        summary = string.format("%s (%s) = %s", name, entry[2], text)
    elseif NETWORK[id] then
        if id == HELLO then
            item:add_le(f.hello_node_type, payload)
            summary = name .. ", node type " .. node_type_text(payload:le_uint())
        end
    else
        if payload then item:add(f.msg_payload, payload) end
        item:add_proto_expert_info(e.unknown)
    end
    item:set_text(string.format("Message %d: %s", index, summary))
    return name
end

local function add_header(root, tvb)
    local length = tvb:len()
    local node = tvb(0, 4):le_uint()
    local node_item = root:add_le(f.node_type, tvb(0, 4))
    node_item:append_text(" (" .. (NODE_TYPES[byte_of(node, 24)] or "unknown type") .. ")")
    node_item:add_le(f.type_code, tvb(0, 4))
    node_item:add_le(f.version, tvb(0, 4))
    if length < HEADER_SIZE then
        root:add_proto_expert_info(e.short, string.format("Packet of %d bytes is shorter than the 24-byte header", length))
        return nil
    end
    for i = 0, 2 do root:add_le(f.reserved, tvb(4 + 4 * i, 4)) end
    local stated = tvb(16, 4):le_uint()
    local length_item = root:add_le(f.length, tvb(16, 4))
    root:add_le(f.msg_count, tvb(20, 4))
    if stated ~= tvb:reported_len() then
        length_item:add_proto_expert_info(e.length_mismatch, string.format(
            "Length field says %d bytes, %d bytes arrived: the receiver drops this packet", stated, tvb:reported_len()))
    end
    if tvb:reported_len() > MAX_PACKET then root:add_proto_expert_info(e.too_long) end
    return node
end

local function dissect_type_coded(root, tvb, pinfo, code)
    root:add_le(f.packet_type, tvb(0, 4))
    if code == 1 and tvb:len() >= 8 then
        root:add_le(f.hello_node_type, tvb(4, 4))
        pinfo.cols.info:set("Hello (type-coded), node type " .. node_type_text(tvb(4, 4):le_uint()))
    else
        pinfo.cols.info:set(string.format("Type-coded packet %d", code))
    end
end

local function dissect_messages(root, tvb)
    local stated_count = tvb(20, 4):le_uint()
    -- The receiver walks no further than the length field, nor past the bytes received.
    local stop = math.min(tvb(16, 4):le_uint(), tvb:len())
    local offset = HEADER_SIZE
    local names = {}
    for index = 1, stated_count do
        if stop - offset < 4 then
            root:add_proto_expert_info(e.count_mismatch, string.format(
                "Message count says %d, %d messages are present", stated_count, index - 1))
            break
        end
        local id = tvb(offset, 4):le_uint()
        local size = 4 * byte_of(id, 16)
        if offset + 4 + size > stop then
            local item = root:add(f.msg, tvb(offset, stop - offset))
            item:add_le(f.msg_id, tvb(offset, 4))
            item:set_text(string.format("Message %d: 0x%08x, cut short", index, id))
            item:add_proto_expert_info(e.does_not_fit, string.format(
                "Message 0x%08x states %d payload bytes, %d remain: the receiver stops here",
                id, size, stop - offset - 4))
            break
        end
        names[#names + 1] = add_message(root, tvb, offset, id, size, index)
        offset = offset + 4 + size
    end
    if #names == stated_count and offset < stop then
        root:add_proto_expert_info(e.count_mismatch, string.format(
            "%d bytes follow the %d messages that the count states", stop - offset, stated_count))
    end
    return names
end

function zvmp.dissector(tvb, pinfo, tree)
    if tvb:len() < 4 then return 0 end
    pinfo.cols.protocol = "ZVMP"
    local root = tree:add(zvmp, tvb())
    local first = tvb(0, 4):le_uint()
    if first < 256 then
        dissect_type_coded(root, tvb, pinfo, first)
        return tvb:len()
    end
    local node = add_header(root, tvb)
    if node == nil then
        pinfo.cols.info:set("Malformed: shorter than the header")
        return tvb:len()
    end
    local info = string.format("%s:", NODE_TYPES[byte_of(node, 24)] or string.format("type 0x%02X", byte_of(node, 24)))
    if node < 0x40000 then
        root:add_proto_expert_info(e.not_walked)
        pinfo.cols.info:set(info .. " no messages delivered")
        return tvb:len()
    end
    local names = dissect_messages(root, tvb)
    root:append_text(string.format(", %d messages", #names))
    if #names <= 4 then
        info = info .. " " .. table.concat(names, ", ")
    else
        info = string.format("%s %s, %s, %s, ... (%d messages)", info, names[1], names[2], names[3], #names)
    end
    pinfo.cols.info:set(info)
    return tvb:len()
end

local udp_port = DissectorTable.get("udp.port")
udp_port:add(MULTICAST_PORTS, zvmp)
udp_port:add(PROGRAM_PORTS, zvmp)
udp_port:add_for_decode_as(zvmp)
