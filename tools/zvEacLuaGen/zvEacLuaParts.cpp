// The offsets of the records for the Lua parts, and the dissector's frame
// and body walk.
#include "zvEacLuaParts.h"

#include <array>

std::string zvEacLuaParts() {
    using namespace zvEacLua;
    using ExtInfo = ZvEacTeleExtendedDeviceInfo;
    using Version = ZvEacTeleGetVersionRsp;
    std::string text = kParts;
    text = with(text, "EXT_COUNT", offsetof(ExtInfo, dataLength));
    text = with(text, "EXT_DATA", sizeof(ExtInfo));
    text = with(text, "DOOR_TIME", offsetof(ZvEacTeleSetDoorMode, timeInSec));
    text = with(text, "KEY_COUNT", offsetof(ZvEacTeleKeypad, length));
    text = with(text, "KEYS", offsetof(ZvEacTeleKeypad, keys));
    text = with(text, "FW_FLAG", ZV_EAC_FW_STATUS_OFS_STRING_FLAG);
    text = with(text, "FW_STRING", ZV_EAC_FW_STATUS_OFS_STRING);
    text = with(text, "FW_FILE", ZV_EAC_FW_UPGRADE_OFS_FILE_REFERENCE);
    text = with(text, "TIME_FN", offsetof(ZvEacTeleSetTime, timeFunction));
    text = with(text, "UTC", ZV_EAC_TIME_FUNCTION_UTC_TIME);
    text = with(text, "VERSION_BUILD", offsetof(Version, buildNumber));
    text = with(text, "VERSION_TEXT", offsetof(Version, humanInfo));
    text = with(text, "VERSION_TEXT_MAX", sizeof(Version::humanInfo));
    // The value widths the printer decodes, by parameter id.
    using Value = decltype(ZvEacTeleParamOpData::u);
    std::string widths;
    auto width = [&widths](unsigned id, std::size_t w) {
        // Appended piece by piece: g++ 12 sees a false overlap in
        // "literal" + std::string when it optimises.
        widths += '[';
        widths += std::to_string(id);
        widths += "] = ";
        widths += std::to_string(w);
        widths += ", ";
    };
    for (unsigned id : {ZV_EAC_PARAM_ID_TMO_SLAVE_OFFLINE, ZV_EAC_PARAM_ID_TMO_SLAVE_MIN,
                        ZV_EAC_PARAM_ID_TMO_SLAVE_PROBE_MAX, ZV_EAC_PARAM_ID_TMO_SLAVE_POLL_MAX}) {
        width(id, sizeof(Value::timeout));
    }
    width(ZV_EAC_PARAM_ID_RX_BUF_LENGTH, sizeof(Value::rxBufLength));
    for (unsigned id : {ZV_EAC_PARAM_ID_EAC_PARAM_A, ZV_EAC_PARAM_ID_EAC_PARAM_B, ZV_EAC_PARAM_ID_OEM_FLASH_PARAM_A,
                        ZV_EAC_PARAM_ID_OEM_FLASH_PARAM_B}) {
        width(id, sizeof(Value::eacParam));
    }
    for (unsigned id = ZV_EAC_PARAM_ID_OEM_PARAM_128; id <= ZV_EAC_PARAM_ID_OEM_PARAM_159; ++id) {
        width(id, sizeof(Value::eacParam));
    }
    const std::string mark = "@PARAM_WIDTHS@";
    text.replace(text.find(mark), mark.size(), widths);
    return text;
}

const char* const zvEacLuaTail = R"lua(
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
    addr = ProtoField.uint8("zveac.addr", "Source or destination", base.DEC),
    len = ProtoField.uint8("zveac.len", "Length", base.DEC),
    msgid = ProtoField.uint8("zveac.msgid", "Message id", base.HEX, msgid_names),
    data = ProtoField.bytes("zveac.data", "Data"),
    body = ProtoField.bytes("zveac.body", "Body"),
    bcc = ProtoField.uint8("zveac.bcc", "BCC", base.HEX),
    bcc_good = ProtoField.bool("zveac.bcc.good", "BCC good"),
    wire = ProtoField.bytes("zveac.wire", "Line bytes"),
}
local all_fields = { f.version, f.hdrlen, f.kind, f.bitrate, f.tick_first, f.tick_last, f.dst, f.src, f.addr, f.len, f.msgid, f.data, f.body,
                     f.bcc, f.bcc_good, f.wire }
local body_names = {}
for name in pairs(bf) do body_names[#body_names + 1] = name end
table.sort(body_names)
for _, name in ipairs(body_names) do all_fields[#all_fields + 1] = bf[name] end
p.fields = all_fields

local e_dropped = ProtoExpert.new("zveac.dropped", "Frame dropped by the receiver", expert.group.MALFORMED,
    expert.severity.WARN)
local e_noise = ProtoExpert.new("zveac.noise", "Bytes outside any frame", expert.group.PROTOCOL, expert.severity.NOTE)
local e_bcc = ProtoExpert.new("zveac.bcc.bad", "BCC does not match", expert.group.CHECKSUM, expert.severity.ERROR)
local e_version = ProtoExpert.new("zveac.version.unknown", "Unknown pseudo-header version", expert.group.UNDECODED,
    expert.severity.ERROR)
local e_short = ProtoExpert.new("zveac.body.short", "Telegram shorter than its layout", expert.group.MALFORMED,
    expert.severity.WARN)
local e_long = ProtoExpert.new("zveac.body.long", "Telegram longer than its layout", expert.group.PROTOCOL,
    expert.severity.NOTE)
local e_length = ProtoExpert.new("zveac.body.length", "No layout for this length", expert.group.UNDECODED,
    expert.severity.NOTE)
p.experts = { e_dropped, e_noise, e_bcc, e_version, e_short, e_long, e_length }

local function add_rows(body, tree, rows)
    local stop = 0
    for _, r in ipairs(rows) do
        if r.k == "num" or r.k == "bytes" then
            tree:add(bf[r.f], body(r.o, r.w))
            stop = math.max(stop, r.o + r.w)
        elseif r.k == "flags" then
            tree:add(bf[r.key .. ".indication_status"], body(r.o, 4))
            tree:add(bf[r.key .. ".indication_mask"], body(r.m, 4))
            local mask = body(r.m, 4):uint()
            local t = tree:add(bf[r.key .. ".indication_flags"], body(r.o, 4))
            for bitno = 0, 31 do
                local one = bit.lshift(1, bitno)
                if bit.band(mask, one) ~= 0 then
                    local on = bit.band(body(r.o, 4):uint(), one) ~= 0
                    t:add(bf[r.key .. ".indication_flags.flag"], body(r.m, 4), one):append_text(on and " on" or " off")
                end
            end
        elseif r.k == "phys" then
            local v = body(r.o, 1):uint()
            tree:add(bf[r.key .. ".physical_representation"], body(r.o, 1))
            local t = tree:add(bf[r.key .. ".physical_representation_flags"], body(r.o, 1))
            for bitno = 0, 7 do
                local one = bit.lshift(1, bitno)
                if bit.band(v, one) ~= 0 then t:add(bf[r.key .. ".physical_representation_flags.flag"], body(r.o, 1), one) end
            end
        elseif r.k == "custom" then
            local e = parts[r.c](body, tree)
            if e == nil then return nil end
            stop = math.max(stop, e)
        end
    end
    return stop
end

local function form_of(forms, body, length)
    for _, form in ipairs(forms) do
        if form.when == nil then return form end
        if form.when == "len" and length == form.at then return form end
        if form.when == "byte" and body:len() > form.at and body(form.at, 1):uint() == form.value then return form end
        if form.when == "nz" and body:len() > form.at and body(form.at, 1):uint() ~= 0 then return form end
    end
    return nil
end

-- The body's fields under the message id; expert info where the telegram's
-- length does not fit its layout.
local function dissect_body(dtvb, tree, id)
    local length = dtvb:len()
    local forms = layouts[id]
    if forms == nil then
        if header_only[id] and length > 1 then tree:add_proto_expert_info(e_long) end
        return
    end
    local form = form_of(forms, length > 1 and dtvb(1) or nil, length)
    if form == nil then
        tree:add_proto_expert_info(e_length)
        return
    end
    if length - 1 < form.size then
        tree:add_proto_expert_info(e_short)
        return
    end
    local body = dtvb(1):tvb()
    local btree = tree:add(f.body, dtvb(1))
    local stop = add_rows(body, btree, form.rows)
    if stop ~= nil and whole[form.key] then
        local e = whole[form.key](body, btree)
        stop = e and math.max(stop, e) or nil
    end
    if stop == nil then
        btree:add_proto_expert_info(e_short)
    elseif stop < body:len() then
        btree:add_proto_expert_info(e_long)
    end
end

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

-- Addresses of each frame by packet number, for the conversation table.
local frame_addrs = {}

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
        if i < 3 then
            tree:add(f.addr, buf(pos, n), v):set_hidden()
        end
        values[names[i]] = v
        bcc = bit.bxor(bcc, v)
        pos = nextpos
    end
    pinfo.cols.src = tostring(values.src)
    pinfo.cols.dst = tostring(values.dst)
    local info = values.src .. " -> " .. values.dst
    local data = ByteArray.new()
    for _ = 1, values.len do
        local v, nextpos = take(buf, pos, stop)
        if v == nil then
            break
        end
        data:append(ByteArray.new(string.format("%02x", v)))
        bcc = bit.bxor(bcc, v)
        pos = nextpos
    end
    local dtvb = nil
    if data:len() > 0 then
        dtvb = data:tvb("Data")
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
        return info .. " (wrong BCC)"
    end
    if dtvb ~= nil and kind == 0 then
        dissect_body(dtvb, tree, dtvb(0, 1):uint())
    end
    pos = nextpos
    if pos >= stop or buf(pos, 1):uint() ~= ETX then
        return info .. " (no ETX)"
    end
    if kind == 0 then
        frame_addrs[pinfo.number] = { values.src, values.dst, buf:len() }
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

-- tshark -z conv,zveac: frames and bytes between the master and each device,
-- the way -z conv lists the conversations of other protocols.
if register_stat_cmd_arg then
    register_stat_cmd_arg("conv,zveac", function()
        local convs = {}
        local tap = Listener.new(nil, "zveac")
        function tap.packet(pinfo)
            local a = frame_addrs[pinfo.number]
            if a == nil then return end
            local lo, hi = math.min(a[1], a[2]), math.max(a[1], a[2])
            local k = lo .. "<->" .. hi
            local c = convs[k]
            if c == nil then
                c = { lo = lo, hi = hi, frames = { 0, 0 }, bytes = { 0, 0 } }
                convs[k] = c
            end
            local dir = a[1] == lo and 1 or 2
            c.frames[dir] = c.frames[dir] + 1
            c.bytes[dir] = c.bytes[dir] + a[3]
        end
        function tap.draw()
            local rows = {}
            for _, c in pairs(convs) do rows[#rows + 1] = c end
            table.sort(rows, function(x, y) return x.lo < y.lo or (x.lo == y.lo and x.hi < y.hi) end)
            print("================================================================================")
            print("ZVEAC Conversations")
            print("Filter:<No Filter>")
            print(string.format("%-12s     %-12s  %8s %8s  %8s %8s  %8s %8s", "", "", "<-", "", "->", "", "Total", ""))
            print(string.format("%-12s     %-12s  %8s %8s  %8s %8s  %8s %8s", "Address A", "Address B", "Frames",
                "Bytes", "Frames", "Bytes", "Frames", "Bytes"))
            for _, c in ipairs(rows) do
                print(string.format("%-12s <-> %-12s  %8d %8d  %8d %8d  %8d %8d", c.lo, c.hi, c.frames[2], c.bytes[2],
                    c.frames[1], c.bytes[1], c.frames[1] + c.frames[2], c.bytes[1] + c.bytes[2]))
            end
            print("================================================================================")
        end
        function tap.reset() convs = {} end
    end)
end
)lua";
