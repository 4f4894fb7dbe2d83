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
-- The data is decoded by command: the mode byte of 'M'; the blocks of an 'R' request (device
-- address and byte count, the address shown as a device name once the CPU family is known) and
-- the words of its answer; the address and words of 'W'; kind, id, values and size of 'D'; the
-- block number and token of a 'U' request and the block header of its answer; the error code
-- of 'E' with its text. The CPU family comes from the preference "CPU type" when it is set,
-- else from the capture: the first read of a connect asks for W0000, whose address differs
-- from family to family.
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
local modes = { [0] = "Remote RUN", [1] = "Remote STOP", [4] = "make active" }
local errors = {
    [1] = "Unknown OP code", [2] = "CRC Error", [3] = "Invalid CPU mode",
    [4] = "Data size overflow", [5] = "Fail to search", [6] = "Monitor size exceeded",
    [7] = "Unknown monitor frame number", [8] = "Unregistered frame number",
    [9] = "Invalid value", [10] = "Invalid data size", [11] = "Rx. timeout",
    [12] = "Invalid CPU mode", [13] = "Error in FROM / TO instruction",
    [14] = "Fail to execute the instruction", [15] = "Busy",
    [16] = "Try to read information of uninstalled expansion",
    [17] = "Fail to run the online-edit", [18] = "No response from CPU",
    [19] = "Error in system data (result data)", [20] = "Not supported instruction",
}
for code, text in pairs(errors) do
    errors[code] = string.format("ERR(%d) : %s", code, text)
end

-- Device address bases by CPU family: the letter's base, and how a word offset is named.
local letters = { "X", "Y", "M", "L", "K", "F", "W", "D", "R", "Z", "S", "T", "TC", "TS", "C",
    "CC", "CS" }
local bases = {
    { 0x00FFE080, 0x00FFE280, 0x00FFE480, 0x00FFE880, 0x00FFE980, 0x00FFEA80, 0x00C0CDF0,
      0x00C00000, 0x00C097DC, 0x00C08E40, 0x00FFEC80, 0x00FFEB80, 0x00C04E20, 0x00C05620,
      0x00FFEC00, 0x00C05E20, 0x00C06620 },
    { 0x00FFE080, 0x00FFE090, 0x00FFE0A0, 0x00FFE2A0, 0x00FFE320, 0x00FFEA80, 0x00E04460,
      0x00E00000, 0x00E1EC70, 0x00E1E470, 0x00FFE3E0, 0x00FFE3A0, 0x00E02710, 0x00E02910,
      0x00FFE3C0, 0x00E02B10, 0x00E02D10 },
    { 0x00810800, 0x00810C00, 0x00811000, 0x00811800, 0x00812000, 0x00812800, 0x00830E00,
      0x00800000, 0x008271E0, 0x00810000, 0x0081EE00, 0x00812A00, 0x00812E00, 0x00816E00,
      0x00812C00, 0x00814E00, 0x00818E00 },
    { 0x20000200, 0x20000280, 0x60006E20, 0x60007220, 0x60007420, 0x20000300, 0x60007F2C,
      0x60000000, 0x60007F04, 0x60007704, 0x600076A0, 0x60007620, 0x60004E20, 0x60005220,
      0x60007660, 0x60005620, 0x60005A20 },
    { 0x20000000, 0x20000400, 0x6801FA02, 0x680201D2, 0x680209A2, 0x20000C00, 0x68021DFE,
      0x68000002, 0x68021DD6, 0x680215D6, 0x20000D00, 0x68021172, 0x6800FA02, 0x68011A02,
      0x68021372, 0x68013A02, 0x68015A02 },
    { 0x20000000, 0x20000200, 0x64017912, 0x64017D12, 0x64017E12, 0x20000800, 0x6401889E,
      0x64011202, 0x64018876, 0x64018076, 0x20000900, 0x64017F12, 0x64013912, 0x64014112,
      0x64017F92, 0x64014912, 0x64015112 },
    { 0x00001000, 0x00005000, 0x0000A000, 0x0000F000, 0x00014000, 0x00028000, 0x000F1000,
      0x000A0000, 0x0009B000, 0x00096000, 0x00023000, 0x00019000, 0x00032000, 0x0004B000,
      0x0001E000, 0x00064000, 0x0007D000 },
}
local W_INDEX = 7
-- The family of each CPU type code that has device addresses.
local family_of_type = {}
for family, codes in ipairs({ { 0, 1, 2, 3, 9 }, { 4 }, { 5, 6, 7 }, { 10, 14, 29, 34 },
    { 11, 12, 13, 15, 16, 17, 18, 20, 21, 22 }, { 19 }, { 26, 27, 28, 30, 33, 40 } }) do
    for _, code in ipairs(codes) do family_of_type[code] = family end
end
local bit_letters = { X = true, Y = true, M = true, L = true, K = true, F = true }
local widths = { W = 4, D = 5, R = 2, Z = 4, S = 2, TC = 4, TS = 4, CC = 4, CS = 4 }

-- The device name of an address in a family: the letter whose base lies closest below it,
-- nil when none does or the address is past any area's reach.
local function device_name(family, address)
    local best, best_base
    for i, base in ipairs(bases[family] or {}) do
        if base <= address and (best_base == nil or base > best_base) then
            best, best_base = letters[i], base
        end
    end
    if best == nil then return nil end
    local offset = address - best_base
    if offset > 2 * 0xFFFF then return nil end
    if best == "S" and family ~= 3 then
        return string.format("S%02d", offset) -- a byte address but for types 5 to 7
    end
    if offset % 2 ~= 0 then return nil end
    local word = math.floor(offset / 2)
    if bit_letters[best] then
        return string.format("%s%03d0", best, word) -- the last digit is the bit
    elseif best == "T" or best == "C" then
        return string.format("%s%04d", best, word * 16) -- contacts, 16 to a word
    end
    return string.format("%s%0" .. widths[best] .. "d", best, word)
end

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
    mode = ProtoField.uint8("loader.mode", "Mode", base.HEX, modes),
    r_addr = ProtoField.uint32("loader.r.addr", "Device address", base.HEX),
    r_name = ProtoField.string("loader.r.name", "Device"),
    r_size = ProtoField.uint8("loader.r.size", "Byte count", base.DEC),
    r_word = ProtoField.uint16("loader.r.word", "Word", base.HEX),
    w_addr = ProtoField.uint32("loader.w.addr", "Device address", base.HEX),
    w_name = ProtoField.string("loader.w.name", "Device"),
    w_word = ProtoField.uint16("loader.w.word", "Word", base.HEX),
    u_kind = ProtoField.uint8("loader.u.kind", "Image kind", base.HEX),
    u_block = ProtoField.uint16("loader.u.block", "Block asked for", base.DEC),
    u_token = ProtoField.bytes("loader.u.token", "Password token"),
    u_total = ProtoField.uint16("loader.u.total", "Blocks in all", base.DEC),
    u_number = ProtoField.uint16("loader.u.number", "Block number", base.DEC),
    u_size = ProtoField.uint16("loader.u.size", "Data size", base.DEC),
    u_bytes = ProtoField.bytes("loader.u.bytes", "Image bytes"),
    e_code = ProtoField.uint8("loader.e.code", "PLC error", base.DEC, errors),
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

p.prefs.cpu = Pref.uint("CPU type", 255,
    "CPU type code of the project, for device names (255: learn the family from the capture)")

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
local state = { header_used = nil, last_request = nil, family = nil }
local decided = {}
local families = {}

function p.init()
    state = { header_used = nil, last_request = nil, family = nil }
    decided = {}
    families = {}
end

-- The CPU families the addresses of this packet may be named in: the preference's, else what
-- the capture showed so far. A connect reads F0080 and F1270 first (the F base, which two
-- families share), the status read W0000 (a base of each family's own). Kept per packet.
local F_INDEX = 6
local function learn(tvb, pos, data_end)
    local count = math.floor((data_end - pos) / 5)
    local function block(i)
        return tvb(pos + 5 * i, 4):uint(), tvb(pos + 5 * i + 4, 1):uint()
    end
    local found = {}
    if count >= 1 then
        local address, size = block(0)
        for family, b in ipairs(bases) do
            if size == 16 and b[W_INDEX] == address then found[#found + 1] = family end
        end
    end
    if #found == 0 and count == 2 then
        local a1, s1 = block(0)
        local a2, s2 = block(1)
        for family, b in ipairs(bases) do
            if s1 == 2 and s2 == 2 and a1 == b[F_INDEX] + 16 and a2 == b[F_INDEX] + 254 then
                found[#found + 1] = family
            end
        end
    end
    if #found > 0 then state.family = found end
end

local function families_for(number, tvb, pos, data_end)
    local preferred = family_of_type[p.prefs.cpu]
    if preferred then return { preferred } end
    if families[number] == nil then
        if tvb ~= nil then learn(tvb, pos, data_end) end
        families[number] = state.family or false
    end
    return families[number] or nil
end

-- The name of an address in every family of `list` when they agree on it, else nil.
local function name_in(list, address)
    local name
    for i, family in ipairs(list or {}) do
        local n = device_name(family, address)
        if n == nil or (i > 1 and n ~= name) then return nil end
        name = n
    end
    return name
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
    local function add_words(tree, field, from)
        for q = from, data_end - 2, 2 do
            tree:add(field, tvb(q, 2))
        end
    end
    if cmd == 0x4D and dir == 0 and data_end - pos >= 1 then
        root:add(f.mode, tvb(pos, 1))
        pinfo.cols.info:append(" " .. (modes[tvb(pos, 1):uint()] or ""))
    elseif cmd == 0x52 and dir == 0 then
        local list = families_for(pinfo.number, tvb, pos, data_end)
        local names = {}
        for q = pos, data_end - 5, 5 do
            local address = tvb(q, 4):uint()
            local name = name_in(list, address)
            local block = root:add(p, tvb(q, 5), "Block " .. (name or
                string.format("0x%08X", address)) .. ", " .. tvb(q + 4, 1):uint() .. " bytes")
            block:add(f.r_addr, tvb(q, 4))
            if name then block:add(f.r_name, tvb(q, 4), name) end
            block:add(f.r_size, tvb(q + 4, 1))
            names[#names + 1] = name or string.format("0x%08X", address)
        end
        pinfo.cols.info:append(" " .. table.concat(names, " "))
    elseif cmd == 0x52 and dir == 1 then
        add_words(root, f.r_word, pos)
    elseif cmd == 0x57 and dir == 0 and data_end - pos >= 4 then
        local address = tvb(pos, 4):uint()
        local name = name_in(families_for(pinfo.number), address)
        root:add(f.w_addr, tvb(pos, 4))
        if name then root:add(f.w_name, tvb(pos, 4), name) end
        add_words(root, f.w_word, pos + 4)
        pinfo.cols.info:append(" " .. (name or string.format("0x%08X", address)))
    elseif cmd == 0x55 and dir == 0 and data_end - pos >= 2 then
        root:add(f.u_kind, tvb(pos, 1))
        local q = pos + 2
        if header and data_end - q >= 2 then
            root:add(f.u_block, tvb(q, 2))
            q = q + 2
        end
        if data_end - q >= 16 then root:add(f.u_token, tvb(q, 16)) end
    elseif cmd == 0x55 and dir == 1 and data_end - pos >= 8 then
        root:add(f.u_total, tvb(pos + 2, 2))
        root:add(f.u_number, tvb(pos + 4, 2))
        root:add(f.u_size, tvb(pos + 6, 2))
        if data_end > pos + 8 then root:add(f.u_bytes, tvb(pos + 8, data_end - pos - 8)) end
        pinfo.cols.info:append(string.format(" block %d of %d", tvb(pos + 4, 2):uint(),
            tvb(pos + 2, 2):uint()))
    elseif cmd == 0x45 and dir == 1 and data_end - pos >= 1 then
        root:add(f.e_code, tvb(pos, 1))
        pinfo.cols.info:append(" " .. (errors[tvb(pos, 1):uint()] or
            string.format("code %d", tvb(pos, 1):uint())))
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
