-- Wireshark dissector for the loader frames in a dlutil pcapng trace (dlutil --trace X.pcapng).
--
-- Each packet (link type USER0, 147) is a 4-byte header followed by one frame as it went over
-- the link:
--   byte 0  'L' (0x4C)    byte 1  version (1)
--   byte 2  direction: 0 to the PLC, 1 from the PLC
--   byte 3  connection type: 0 serial, 1 dial-up, 2 leased line, 3 Ethernet, 4 simulator,
--           5 USB, 255 unknown
-- A frame:
--   05 64 | command | length (2, high first) | [station, sequence, 00] | data | check (2)
-- The length counts the station header when it is there, never the check code. The check code
-- is CRC-16/DNP over the command byte up to the last data byte, high byte first.
-- Password blocks, and the check codes over them, are masked ('*', 0x2A) in a trace: such a
-- frame is marked loader.masked and gets no loader.crc_ok.
--
-- Install: copy into ~/.local/lib/wireshark/plugins/ (the package puts it in the global Lua
-- plugin folder), or run  wireshark -X lua_script:loader.lua trace.pcapng

local p = Proto("loader", "Loader frame protocol")

local directions = { [0] = "to the PLC", [1] = "from the PLC" }
local conns = {
    [0] = "serial", [1] = "dial-up", [2] = "leased line", [3] = "Ethernet",
    [4] = "simulator", [5] = "USB", [255] = "unknown",
}
local commands = {
    [0x74] = "test ('t')", [0x4D] = "mode ('M')", [0x83] = "begin download",
    [0x52] = "read ('R')", [0x57] = "write ('W')", [0x44] = "download ('D')",
    [0x77] = "password ('w')", [0x55] = "upload ('U')", [0x45] = "error ('E')",
}
local kinds = {}
for _, k in ipairs({ "P", "B", "C", "T", "t", "X", "b", "l", "v", "a", "s", "V", "A", "S" }) do
    kinds[string.byte(k)] = "'" .. k .. "'"
end
-- The 'D' kinds that carry the station header whatever the connection uses.
local always_header = {}
for _, k in ipairs({ "T", "t", "X", "b", "l", "v", "a", "s", "V", "A", "S" }) do
    always_header[string.byte(k)] = true
end

local f = {
    magic = ProtoField.uint8("loader.magic", "Magic", base.HEX),
    version = ProtoField.uint8("loader.version", "Version", base.DEC),
    direction = ProtoField.uint8("loader.direction", "Direction", base.DEC, directions),
    conn = ProtoField.uint8("loader.conn", "Connection type", base.DEC, conns),
    head = ProtoField.uint16("loader.head", "Head", base.HEX),
    cmd = ProtoField.uint8("loader.cmd", "Command", base.HEX, commands),
    len = ProtoField.uint16("loader.len", "Length", base.DEC),
    station = ProtoField.uint8("loader.station", "Station", base.HEX),
    seq = ProtoField.uint8("loader.seq", "Sequence", base.DEC),
    reserved = ProtoField.uint8("loader.reserved", "Reserved", base.HEX),
    data = ProtoField.bytes("loader.data", "Data"),
    crc = ProtoField.uint16("loader.crc", "Check code", base.HEX),
    crc_ok = ProtoField.bool("loader.crc_ok", "Check code good"),
    masked = ProtoField.bool("loader.masked", "Masked in the trace"),
    d_kind = ProtoField.uint8("loader.d.kind", "Item kind", base.HEX, kinds),
    d_id = ProtoField.uint8("loader.d.id", "Item id", base.DEC),
    d_value1 = ProtoField.uint16("loader.d.value1", "Value 1", base.DEC),
    d_value2 = ProtoField.uint16("loader.d.value2", "Value 2", base.DEC),
    d_size = ProtoField.uint16("loader.d.size", "Block size", base.DEC),
    d_bytes = ProtoField.bytes("loader.d.bytes", "Block bytes"),
}
p.fields = f

local e_magic = ProtoExpert.new("loader.bad_magic", "Not a dlutil trace packet",
    expert.group.MALFORMED, expert.severity.ERROR)
local e_head = ProtoExpert.new("loader.bad_head", "No loader frame head (05 64)",
    expert.group.MALFORMED, expert.severity.ERROR)
local e_short = ProtoExpert.new("loader.short", "Frame shorter than its length field",
    expert.group.MALFORMED, expert.severity.WARN)
local e_crc = ProtoExpert.new("loader.bad_crc", "Check code does not match",
    expert.group.CHECKSUM, expert.severity.WARN)
p.experts = { e_magic, e_head, e_short, e_crc }

-- Bit operations: the bit32 library (Lua 5.2), Wireshark's bit library, or Lua 5.3's operators.
local band, bxor, rshift
if bit32 then
    band, bxor, rshift = bit32.band, bit32.bxor, bit32.rshift
elseif bit then
    band, bxor, rshift = bit.band, bit.bxor, bit.rshift
else
    band, bxor, rshift = load("return function(a, b) return a & b end, " ..
        "function(a, b) return a ~ b end, function(a, n) return a >> n end")()
end

-- CRC-16/DNP: reflected polynomial 0xA6BC, start 0, result inverted.
local crc_table = {}
for i = 0, 255 do
    local c = i
    for _ = 1, 8 do
        if band(c, 1) ~= 0 then c = bxor(rshift(c, 1), 0xA6BC) else c = rshift(c, 1) end
    end
    crc_table[i] = c
end
local function crc16dnp(tvb, offset, count)
    local c = 0
    for i = offset, offset + count - 1 do
        c = bxor(rshift(c, 8), crc_table[band(bxor(c, tvb(i, 1):uint()), 0xFF)])
    end
    return band(bxor(c, 0xFFFF), 0xFFFF)
end

-- Whether a frame carries the station header. A frame does not say, so this follows the
-- capture as the program does: the answer to the link test ('t' with length 5) says the PLC
-- uses the header, any other answer ('E') that it does not; answers then carry it exactly
-- when the PLC uses it, requests too, and the link test, the password request and the 'D'
-- kinds below always. Without a link test in the capture a frame is guessed at by its
-- reserved byte. Decided on the first pass and kept per packet.
local state = { header_used = nil, last_request = nil }
local decided = {}

function p.init()
    state = { header_used = nil, last_request = nil }
    decided = {}
end

local function byte_at(tvb, i)
    if tvb:len() > i then return tvb(i, 1):uint() end
    return nil
end

local function guess_header(tvb, at, length)
    return length >= 3 and byte_at(tvb, at + 7) == 0
end

local plain_kinds = { [0x50] = true, [0x42] = true, [0x43] = true } -- 'P', 'B', 'C'

local function decide(tvb, at, dir, cmd, length)
    if dir == 0 then
        state.last_request = cmd
        if cmd == 0x74 or cmd == 0x77 then
            return true
        end
        if cmd == 0x44 then
            if state.header_used == false and plain_kinds[byte_at(tvb, at + 5)] then
                return false
            end
            if guess_header(tvb, at, length) and always_header[byte_at(tvb, at + 8)] then
                return true
            end
        end
    elseif state.last_request == 0x74 then
        state.header_used = (cmd == 0x74 and length == 5)
    end
    if state.header_used ~= nil then
        return state.header_used
    end
    return guess_header(tvb, at, length)
end

function p.dissector(tvb, pinfo, tree)
    pinfo.cols.protocol = "LOADER"
    local root = tree:add(p, tvb(), "Loader frame")
    if tvb:len() < 4 or tvb(0, 1):uint() ~= 0x4C then
        root:add_proto_expert_info(e_magic)
        return
    end
    root:add(f.magic, tvb(0, 1))
    root:add(f.version, tvb(1, 1))
    local dir = tvb(2, 1):uint()
    root:add(f.direction, tvb(2, 1))
    root:add(f.conn, tvb(3, 1))
    local at = 4
    local size = tvb:len() - at
    if size < 2 or tvb(at, 2):uint() ~= 0x0564 then
        root:add_proto_expert_info(e_head)
        return
    end
    root:add(f.head, tvb(at, 2))
    if size < 3 then
        root:add_proto_expert_info(e_short)
        return
    end
    local cmd = tvb(at + 2, 1):uint()
    root:add(f.cmd, tvb(at + 2, 1))
    local name = commands[cmd] or string.format("0x%02X", cmd)
    local arrow = dir == 0 and ">>" or "<<"
    if size < 5 then
        -- The link test's answer is read as its head only; 'E' has no length there.
        pinfo.cols.info = string.format("%s %s", arrow, name)
        if dir == 1 and decided[pinfo.number] == nil then
            decided[pinfo.number] = decide(tvb, at, dir, cmd, 0)
        end
        if not (dir == 1 and size == 3) then
            root:add_proto_expert_info(e_short)
        end
        return
    end
    local length = tvb(at + 3, 2):uint()
    root:add(f.len, tvb(at + 3, 2))
    pinfo.cols.info = string.format("%s %s, length %d", arrow, name, length)

    local header = decided[pinfo.number]
    if header == nil then
        header = decide(tvb, at, dir, cmd, length)
        decided[pinfo.number] = header
    end
    if dir == 1 and cmd == 0x74 and size == 5 then
        -- The link test's answer is read as its head only.
        return
    end
    if size < 5 + length + 2 then
        root:add_proto_expert_info(e_short)
    end
    local pos = at + 5
    local data_end = math.min(at + 5 + length, tvb:len())
    if header and data_end - pos >= 3 then
        root:add(f.station, tvb(pos, 1))
        root:add(f.seq, tvb(pos + 1, 1))
        root:add(f.reserved, tvb(pos + 2, 1))
        pos = pos + 3
    end
    if data_end > pos then
        root:add(f.data, tvb(pos, data_end - pos))
    end
    if dir == 0 and cmd == 0x44 and data_end - pos >= 1 then
        local kind = tvb(pos, 1):uint()
        local d = root:add(f.d_kind, tvb(pos, 1))
        local q = pos + 1
        local function take(field, n)
            if data_end - q >= n then
                d:add(field, tvb(q, n))
                q = q + n
                return true
            end
            return false
        end
        if kind == 0x50 then     -- 'P': a byte not used, then the two values
            q = q + 1
            local _ = take(f.d_value1, 2) and take(f.d_value2, 2)
        elseif kind == 0x42 then -- 'B': the id only
            take(f.d_id, 1)
        else
            local _ = take(f.d_id, 1) and take(f.d_value1, 2) and take(f.d_value2, 2)
        end
        if take(f.d_size, 2) and data_end > q then
            d:add(f.d_bytes, tvb(q, data_end - q))
        end
        pinfo.cols.info:append(" " .. (kinds[kind] or string.format("0x%02X", kind)))
    end
    if tvb:len() >= at + 5 + length + 2 then
        local crc_at = at + 5 + length
        local crc = tvb(crc_at, 2):uint()
        local computed = crc16dnp(tvb, at + 2, length + 3)
        root:add(f.crc, tvb(crc_at, 2))
        if crc ~= computed and crc == 0x2A2A then
            root:add(f.masked, tvb(crc_at, 2), true)
        else
            local item = root:add(f.crc_ok, tvb(crc_at, 2), crc == computed)
            if crc ~= computed then
                item:add_proto_expert_info(e_crc,
                    string.format("Check code 0x%04X, computed 0x%04X", crc, computed))
            end
        end
    end
end

DissectorTable.get("wtap_encap"):add(wtap.USER0, p)
