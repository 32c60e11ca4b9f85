-- Dissector for capture files of the ZELVAN EAC bus written by
-- zelvanEacSniffer (-w / capture 1 FILE): pcap, link type 149 (USER2, the
-- private-use range). Each packet is the sniffer's pseudo-header followed by
-- the bytes exactly as they were on the line.
--
--   tshark -X lua_script:wireshark/zvEac.lua -r bus.pcap
--   or copy this file into ~/.local/lib/wireshark/plugins/

local p = Proto("zveac", "ZELVAN EAC bus")

-- Message ids by name; a test keeps this table equal to the sniffer's own.
-- msgid names begin
local msgid_names = {
    [0x20] = "MSGID_GET_VERSION",
    [0x21] = "MSGID_VERSION",
    [0x28] = "MSGID_RESULT",
    [0x30] = "MSGID_RESET",
    [0x41] = "MSGID_MIFARE_CREDENTIAL",
    [0x42] = "MSGID_MIFARE_CREDENTIAL_WITH_SECTOR_DATA",
    [0x43] = "MSGID_GENERIC_CREDENTIAL",
    [0x48] = "MSGID_ACCESS_DECISION",
    [0x49] = "MSGID_GET_ACTIVATOR_STATE",
    [0x51] = "MSGID_ACTIVATOR",
    [0x52] = "MSGID_INDICATE_CREDENTIAL_REQUEST",
    [0x54] = "MSGID_GRANT_ACCESS_SEQUENCE",
    [0x55] = "MSGID_SET_DOOR_MODE",
    [0x56] = "MSGID_RESET_DOOR_MODE",
    [0x57] = "MSGID_INDICATE_ACCESS_DENIED",
    [0x60] = "MSGID_GET_EVENT",
    [0x61] = "MSGID_EVENT",
    [0x70] = "MSGID_SET_PARAMETER",
    [0x71] = "MSGID_GET_PARAMETER",
    [0x72] = "MSGID_PARAMETER",
    [0x73] = "MSGID_KEYPAD",
    [0xa0] = "MSGID_GET_SUPPORTED_LOCK_STATES",
    [0xa1] = "MSGID_SUPPORTED_LOCK_STATES",
    [0xa2] = "MSGID_GET_LOCK_STATE",
    [0xa3] = "MSGID_LOCK_STATE",
    [0xa5] = "MSGID_GET_SUPPORTED_DOOR_STATES",
    [0xa6] = "MSGID_SUPPORTED_DOOR_STATES",
    [0xa7] = "MSGID_GET_DOOR_STATE",
    [0xa8] = "MSGID_DOOR_STATE",
    [0xaa] = "MSGID_GET_ALL_HANDLE_STATES",
    [0xab] = "MSGID_HANDLE_STATE",
    [0xac] = "MSGID_GET_KEY_CYLINDER_STATE",
    [0xad] = "MSGID_KEY_CYLINDER_STATE",
    [0xae] = "MSGID_GET_TAMPER_STATE",
    [0xaf] = "MSGID_TAMPER_STATE",
    [0xb0] = "MSGID_GET_ALL_TAMPER_STATES",
    [0xb1] = "MSGID_DEVICE_TAMPER_STATE",
    [0xb2] = "MSGID_GET_DEVICE_INFO",
    [0xb3] = "MSGID_DEVICE_INFO",
    [0xb4] = "MSGID_GET_EXTENDED_DEVICE_INFO",
    [0xb5] = "MSGID_EXTENDED_DEVICE_INFO",
    [0xb6] = "MSGID_GET_DTCS",
    [0xb7] = "MSGID_DTC",
    [0xb8] = "MSGID_CLEAR_DTC",
    [0xb9] = "MSGID_SET_PERMANENT_INDICATION",
    [0xba] = "MSGID_FIRMWARE_UPGRADE",
    [0xbb] = "MSGID_FIRMWARE_STATUS_NOTIFICATION",
    [0xbd] = "MSGID_BLOCK_DATA_TRANSPORT",
    [0xbe] = "MSGID_SET_TIME",
    [0xbf] = "MSGID_GET_ALL_STATES",
    [0xc0] = "MSGID_GET_ALARMS",
    [0xc1] = "MSGID_ALARM",
    [0xc2] = "MSGID_CONFIRM_ALARM",
    [0xc3] = "MSGID_ACTION_WITH_TIMER",
    [0xc5] = "MSGID_DOOR_MODE",
}
-- msgid names end

local kind_names = {
    [0] = "frame",
    [1] = "noise",
    [2] = "drop-bcc",
    [3] = "drop-timeout",
    [4] = "drop-no-etx",
    [5] = "drop-no-memory",
    [6] = "drop-cut",
}
local kind_text = {
    [2] = "frame dropped: wrong BCC",
    [3] = "frame dropped: gap longer than the receive time-out",
    [4] = "frame dropped: no ETX after the BCC",
    [5] = "frame dropped: no buffer for the announced length",
    [6] = "frame dropped: cut by the end of the run",
}

local STX, ETX, ESC = 0x02, 0x03, 0x1b

local f = {
    version = ProtoField.uint8("zveac.version", "Pseudo-header version", base.DEC),
    hdrlen = ProtoField.uint8("zveac.hdrlen", "Pseudo-header length", base.DEC),
    kind = ProtoField.uint8("zveac.kind", "Kind", base.DEC, kind_names),
    bitrate = ProtoField.uint32("zveac.bitrate", "Bit rate", base.DEC),
    tick_first = ProtoField.uint16("zveac.tick.first", "Receiver tick of the first byte (ms)", base.DEC),
    tick_last = ProtoField.uint16("zveac.tick.last", "Receiver tick of the last byte (ms)", base.DEC),
    dst = ProtoField.uint8("zveac.dst", "Destination", base.DEC),
    src = ProtoField.uint8("zveac.src", "Source", base.DEC),
    len = ProtoField.uint8("zveac.len", "Length", base.DEC),
    msgid = ProtoField.uint8("zveac.msgid", "Message id", base.HEX, msgid_names),
    data = ProtoField.bytes("zveac.data", "Data"),
    bcc = ProtoField.uint8("zveac.bcc", "BCC", base.HEX),
    bcc_good = ProtoField.bool("zveac.bcc.good", "BCC good"),
    wire = ProtoField.bytes("zveac.wire", "Line bytes"),
}
p.fields = { f.version, f.hdrlen, f.kind, f.bitrate, f.tick_first, f.tick_last, f.dst, f.src, f.len, f.msgid, f.data, f.bcc, f.bcc_good, f.wire }

local e_dropped = ProtoExpert.new("zveac.dropped", "Frame dropped by the receiver", expert.group.MALFORMED,
    expert.severity.WARN)
local e_noise = ProtoExpert.new("zveac.noise", "Bytes outside any frame", expert.group.PROTOCOL, expert.severity.NOTE)
local e_bcc = ProtoExpert.new("zveac.bcc.bad", "BCC does not match", expert.group.CHECKSUM, expert.severity.ERROR)
local e_version = ProtoExpert.new("zveac.version.unknown", "Unknown pseudo-header version", expert.group.UNDECODED,
    expert.severity.ERROR)
p.experts = { e_dropped, e_noise, e_bcc, e_version }

-- Reads one value of the frame from `pos` on, undoing an escape. Returns the
-- value, the offset after it and the number of line bytes it took; nil at
-- the end of the bytes.
local function take(buf, pos, stop)
    if pos >= stop then
        return nil
    end
    local b = buf(pos, 1):uint()
    if b == ESC then
        if pos + 1 >= stop then
            return nil
        end
        return bit.band(buf(pos + 1, 1):uint(), 0x7f), pos + 2, 2
    end
    return b, pos + 1, 1
end

local function dissect_frame(buf, pinfo, tree, start, kind)
    local stop = buf:len()
    if start >= stop or buf(start, 1):uint() ~= STX then
        return "no STX"
    end
    local pos = start + 1
    local values = {}
    local names = { "dst", "src", "len" }
    local bcc = 0
    for i = 1, 3 do
        local v, nextpos, n = take(buf, pos, stop)
        if v == nil then
            return "cut off in the header"
        end
        tree:add(f[names[i]], buf(pos, n), v)
        values[names[i]] = v
        bcc = bit.bxor(bcc, v)
        pos = nextpos
    end
    pinfo.cols.src = tostring(values.src)
    pinfo.cols.dst = tostring(values.dst)
    local info = values.src .. " -> " .. values.dst
    local data = ByteArray.new()
    local data_start = pos
    for _ = 1, values.len do
        local v, nextpos = take(buf, pos, stop)
        if v == nil then
            break
        end
        data:append(ByteArray.new(string.format("%02x", v)))
        bcc = bit.bxor(bcc, v)
        pos = nextpos
    end
    if data:len() > 0 then
        local dtvb = data:tvb("Data")
        local ditem = tree:add(f.data, dtvb())
        ditem:set_generated()
        local id = dtvb(0, 1):uint()
        tree:add(f.msgid, dtvb(0, 1))
        info = info .. " " .. (msgid_names[id] or string.format("unknown msgid 0x%02x", id))
    end
    if data:len() < values.len then
        return info .. " (cut off in the data)"
    end
    local v, nextpos, n = take(buf, pos, stop)
    if v == nil then
        return info .. " (cut off before the BCC)"
    end
    tree:add(f.bcc, buf(pos, n), v)
    local good = tree:add(f.bcc_good, buf(pos, n), v == bcc)
    good:set_generated()
    if v ~= bcc then
        good:add_proto_expert_info(e_bcc)
    end
    pos = nextpos
    if pos >= stop or buf(pos, 1):uint() ~= ETX then
        return info .. " (no ETX)"
    end
    return info
end

function p.dissector(buf, pinfo, root)
    pinfo.cols.protocol = "ZVEAC"
    local tree = root:add(p, buf())
    if buf:len() < 2 then
        tree:add_proto_expert_info(e_version)
        return
    end
    local version = buf(0, 1):uint()
    tree:add(f.version, buf(0, 1))
    local hdrlen = buf(1, 1):uint()
    local minlen = version == 1 and 8 or 12
    if (version ~= 1 and version ~= 2) or hdrlen < minlen or hdrlen > buf:len() then
        tree:add_proto_expert_info(e_version)
        pinfo.cols.info = "unknown pseudo-header"
        return
    end
    tree:add(f.hdrlen, buf(1, 1))
    local kind = buf(2, 1):uint()
    local kitem = tree:add(f.kind, buf(2, 1))
    tree:add(f.bitrate, buf(4, 4))
    if version >= 2 then
        tree:add(f.tick_first, buf(8, 2))
        tree:add(f.tick_last, buf(10, 2))
    end
    if buf:len() > hdrlen then
        tree:add(f.wire, buf(hdrlen))
    end
    local kname = kind_names[kind] or "unknown"
    if kind == 1 then
        kitem:add_proto_expert_info(e_noise)
        pinfo.cols.info = string.format("noise, %d bytes", buf:len() - hdrlen)
        return
    end
    local info = dissect_frame(buf, pinfo, tree, hdrlen, kind)
    if kind ~= 0 then
        kitem:add_proto_expert_info(e_dropped, kind_text[kind] or "frame dropped")
        info = "[" .. kname .. "] " .. info
    end
    pinfo.cols.info = info
end

DissectorTable.get("wtap_encap"):add((wtap_encaps or wtap).USER2, p)
