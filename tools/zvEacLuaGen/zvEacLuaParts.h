// The dissector's fixed Lua: the capture's pseudo-header and frame, the walk
// over the generated layouts, and the parts of bodies no row describes,
// with the offsets of the records filled in.
#pragma once

#include <cstddef>
#include <string>

#include "eac/zelvan/zvEacTelegrams.h"

inline constexpr const char* zvEacLuaHead = R"lua(-- Dissector for capture files of the ZELVAN EAC bus written by
-- zelvanEacSniffer (-w / capture 1 FILE): pcap, link type 149 (USER2, the
-- private-use range). Each packet is the sniffer's pseudo-header followed by
-- the bytes exactly as they were on the line.
--
-- Written by zvEacLuaGen from the sniffer's own tables; edit those, not this.
--
--   tshark -X lua_script:wireshark/zvEac.lua -r bus.pcap
--   or copy this file into ~/.local/lib/wireshark/plugins/

local p = Proto("zveac", "ZELVAN EAC bus")

)lua";

namespace zvEacLua {

// Replaces every "@NAME@" of `text` with `value`.
inline std::string with(std::string text, const std::string& name, std::size_t value) {
    const std::string mark = "@" + name + "@";
    for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark)) {
        text.replace(at, mark.size(), std::to_string(value));
    }
    return text;
}

inline constexpr const char* kParts = R"lua(
-- Body parts no row describes. Each takes the body (a Tvb from the byte
-- after the id), the body's tree and the message's key, and returns the
-- offset after the last byte it read.
local parts = {}

local function add_states(key)
    return function(body, tree)
        local n = body(0, 1):uint()
        if body:len() < 1 + n then return nil end
        local t = tree:add(bf[key .. ".states"], body(0, 1 + n))
        for i = 1, n do t:add(bf[key .. ".states.state"], body(i, 1)) end
        return 1 + n
    end
end
parts["supported_lock_states.states"] = add_states("supported_lock_states")
parts["supported_door_states.states"] = add_states("supported_door_states")

parts["extended_device_info.data"] = function(body, tree)
    local n = body(@EXT_COUNT@, 1):uint()
    if body:len() < @EXT_DATA@ + n then return nil end
    if n > 0 then tree:add(bf["extended_device_info.data"], body(@EXT_DATA@, n)) end
    return @EXT_DATA@ + n
end

local function door_mode_time(key)
    return function(body, tree)
        tree:add(bf[key .. ".time"], body(@DOOR_TIME@, 4))
        return @DOOR_TIME@ + 4
    end
end
parts["set_door_mode.time"] = door_mode_time("set_door_mode")

parts["keypad.keys"] = function(body, tree)
    local n = body(@KEY_COUNT@, 1):uint()
    if body:len() < @KEYS@ + n then return nil end
    local t = tree:add(bf["keypad.keys"], body(@KEYS@, n))
    for i = 0, n - 1 do t:add(bf["keypad.keys.key"], body(@KEYS@ + i, 1)) end
    return @KEYS@ + n
end

parts["firmware_status_notification.device_string"] = function(body, tree)
    if body(@FW_FLAG@, 1):uint() == 0 or body:len() <= @FW_STRING@ then return @FW_FLAG@ + 1 end
    tree:add(bf["firmware_status_notification.device_string"], body(@FW_STRING@))
    return body:len()
end

parts["set_time.time_zone"] = function(body, tree)
    local fn = body(@TIME_FN@, 1):uint()
    tree:add(bf["set_time.time_function"], body(@TIME_FN@, 1))
    if fn ~= @UTC@ then return @TIME_FN@ + 1 end
    if body:len() <= @TIME_FN@ + 1 then return nil end
    tree:add(bf["set_time.time_zone_offset"], body(@TIME_FN@ + 1, 1))
    return @TIME_FN@ + 2
end

-- Bodies without rows, by key.
local whole = {}

local function one(key, name, width)
    whole[key] = function(body, tree)
        tree:add(bf[key .. "." .. name], body(0, width))
        return width
    end
end
one("access_decision", "decision", 1)
one("reset", "target", 1)
one("indicate_credential_request", "indication_code", 2)

whole["version"] = function(body, tree)
    local names = { "protocol_major", "protocol_minor", "vendor_id", "product_id", "selector", "version_major",
                    "version_minor" }
    for i, name in ipairs(names) do tree:add(bf["version." .. name], body(i - 1, 1)) end
    tree:add(bf["version.build"], body(@VERSION_BUILD@, 2))
    local len = body:len()
    if len > @VERSION_TEXT@ and len <= @VERSION_TEXT@ + @VERSION_TEXT_MAX@ then
        tree:add(bf["version.text"], body(@VERSION_TEXT@))
        return len
    end
    return @VERSION_TEXT@
end

local param_width = { @PARAM_WIDTHS@ }
local function parameter(key)
    whole[key] = function(body, tree)
        local id = body(0, 1):uint()
        tree:add(bf[key .. ".parameter_id"], body(0, 1))
        local w = param_width[id] or 0
        if w == 0 then return 1 end
        if body:len() < 1 + w then return nil end
        tree:add(bf[key .. ".value"], body(1, w))
        return 1 + w
    end
end
parameter("set_parameter")
parameter("parameter")

whole["firmware_upgrade"] = function(body, tree)
    tree:add(bf["firmware_upgrade.device_id"], body(0, 12))
    if body:len() > @FW_FILE@ then
        tree:add(bf["firmware_upgrade.file_reference"], body(@FW_FILE@))
    end
    return body:len()
end

whole["block_data_transport"] = function(body, tree)
    local op = body(0, 1):uint()
    if op ~= 3 and op ~= 4 then return 2 end
    if body:len() < 4 then return nil end
    tree:add(bf["block_data_transport.block"], body(2, 2))
    return 4
end

whole["mifare_credential"] = function(body, tree)
    local bits = body(0, 1):uint()
    local n = math.floor((bits + 7) / 8)
    if body:len() < 1 + n then return nil end
    tree:add(bf["mifare_credential.bits"], body(0, 1))
    if n > 0 then tree:add(bf["mifare_credential.uid"], body(1, n)) end
    return 1 + n
end

whole["mifare_credential_with_sector_data"] = function(body, tree)
    local key = "mifare_credential_with_sector_data"
    local uid_n, data_n = body(1, 1):uint(), body(11, 1):uint()
    if body:len() < 2 + uid_n or body:len() < 12 + data_n then return nil end
    tree:add(bf[key .. ".card_type"], body(0, 1))
    tree:add(bf[key .. ".uid_length"], body(1, 1))
    tree:add(bf[key .. ".data_length"], body(11, 1))
    if uid_n > 0 then tree:add(bf[key .. ".uid"], body(2, uid_n)) end
    if data_n > 0 then tree:add(bf[key .. ".data"], body(12, data_n)) end
    return 12 + data_n
end

-- The container: blocks of type (2 bytes), data length N (2), valid bits
-- of the last byte (1), N data bytes.
whole["generic_credential"] = function(body, tree)
    local key = "generic_credential"
    tree:add(bf[key .. ".device_id"], body(0, 12))
    tree:add(bf[key .. ".door_side"], body(12, 1))
    local len = body:len()
    local pos = 13
    local blocks = nil
    local number = 0
    while pos < len do
        if len - pos < 5 then break end
        local n = body(pos + 2, 2):uint()
        local last = body(pos + 4, 1):uint()
        if n == 0 or last < 1 or last > 8 or len - pos - 5 < n then break end
        if blocks == nil then blocks = tree:add(bf[key .. ".blocks"], body(13)) end
        local b = blocks:add(bf[key .. ".blocks.block"], body(pos, 5 + n))
        b:add(bf[key .. ".blocks.block.number"], number):set_generated()
        b:add(bf[key .. ".blocks.block.type"], body(pos, 2))
        b:add(bf[key .. ".blocks.block.bits"], body(pos + 2, 3), (n - 1) * 8 + last):set_generated()
        b:add(bf[key .. ".blocks.block.data"], body(pos + 5, n))
        if body(pos, 2):uint() == 0x0100 and n == 2 then
            local s = b:add(bf[key .. ".blocks.block.source_details"], body(pos + 5, 2))
            s:add(bf[key .. ".blocks.block.source_details.main_type"], body(pos + 5, 1))
            s:add(bf[key .. ".blocks.block.source_details.sub_type"], body(pos + 6, 1))
        end
        number = number + 1
        pos = pos + 5 + n
    end
    if pos < len and body(pos, 1):uint() ~= 0 then
        tree:add(bf[key .. ".invalid_container"], body(pos))
    end
    return len
end
)lua";

}  // namespace zvEacLua

std::string zvEacLuaParts();

extern const char* const zvEacLuaTail;
