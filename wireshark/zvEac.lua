-- Dissector for capture files of the ZELVAN EAC bus written by
-- zelvanEacSniffer (-w / capture 1 FILE): pcap, link type 149 (USER2, the
-- private-use range). Each packet is the sniffer's pseudo-header followed by
-- the bytes exactly as they were on the line.
--
-- Written by zvEacLuaGen from the sniffer's own tables; edit those, not this.
--
--   tshark -X lua_script:wireshark/zvEac.lua -r bus.pcap
--   or copy this file into ~/.local/lib/wireshark/plugins/

local p = Proto("zveac", "ZELVAN EAC bus")

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

local vs1 = { [0] = "DOORSIDE_UNKNOWN", [1] = "DOORSIDE_INSIDE", [2] = "DOORSIDE_OUTSIDE", [3] = "DOORSIDE_BOTH_SIDES", }
local vs2 = { [0] = "ACTIVATOR_STATE_UNKNOWN", [1] = "ACTIVATOR_STATE_NOT_ACTIVE", [2] = "ACTIVATOR_STATE_ACTIVE", }
local vs3 = { [0] = "DOORMODE_UNKNOWN", [1] = "DOORMODE_OPEN", [2] = "DOORMODE_CLOSED_UNLOCKED", [3] = "DOORMODE_CLOSED_LOCKED", [4] = "DOORMODE_CLOSED_SECURED", [5] = "DOORMODE_CLOSED_LOCKED_RESTRICTED", [6] = "DOORMODE_CLOSED_SECURED_RESTRICTED", }
local vs4 = { [0] = "INDICATION_DEFAULT", [1] = "INDICATION_NO_INDICATION", [2] = "INDICATION_USE_INDICATION_IN_EXTENDED_MESSAGE", }
local vs5 = { [1] = "PHYSICAL_REPRESENTATION_AUTOMATIC", [2] = "PHYSICAL_REPRESENTATION_VISUAL", [4] = "PHYSICAL_REPRESENTATION_AUDIBLE", [8] = "PHYSICAL_REPRESENTATION_TACTILE", }
local vs6 = { [0] = "LIGHT_INDICATION_DEFAULT", [1] = "LIGHT_INDICATION_NO_INDICATION", }
local vs7 = { [0] = "LOCK_STATE_UNKNOWN", [1] = "LOCK_STATE_UNLOCKED", [2] = "LOCK_STATE_LOCKED", [3] = "LOCK_STATE_SECURED", [4] = "LOCK_STATE_JAMMED", }
local vs8 = { [0] = "DOOR_STATE_UNKNOWN", [1] = "DOOR_STATE_NOTCLOSED", [2] = "DOOR_STATE_CLOSED", }
local vs9 = { [0] = "HANDLE_STATE_UNKNOWN", [1] = "HANDLE_STATE_NOT_USED", [2] = "HANDLE_STATE_USED", }
local vs10 = { [0] = "KEY_CYLINDER_STATE_UNKNOWN", [1] = "KEY_CYLINDER_STATE_NOT_USED", [2] = "KEY_CYLINDER_STATE_USED", [3] = "KEY_CYLINDER_STATE_USED_SPECIFIC_POS_0", [4] = "KEY_CYLINDER_STATE_USED_SPECIFIC_POS_1", [5] = "KEY_CYLINDER_STATE_USED_SPECIFIC_POS_2", }
local vs11 = { [0] = "TAMPER_STATE_UNKNOWN", [1] = "TAMPER_STATE_NO_TAMPER", [2] = "TAMPER_STATE_TAMPER", }
local vs12 = { [0] = "PRODCLASS_UNKNOWN", [1] = "PRODCLASS_ALARM_LIGHT", [2] = "PRODCLASS_DOOR_AUTOMATICS", [3] = "PRODCLASS_DOOR_AUTOMATICS_MOTION_SENSOR", [4] = "PRODCLASS_ELECTRIC_STRIKE", [5] = "PRODCLASS_GATEWAY", [6] = "PRODCLASS_IO_MODULE", [7] = "PRODCLASS_KEYPAD", [8] = "PRODCLASS_KEYPAD_READER", [9] = "PRODCLASS_LOCK", [10] = "PRODCLASS_MAGNETIC_DOOR_HOLDER", [11] = "PRODCLASS_MAGNETIC_LOCK", [12] = "PRODCLASS_MOTION_SENSOR", [13] = "PRODCLASS_MOTORLOCK_CONTROLLER", [14] = "PRODCLASS_PANIC_BAR", [15] = "PRODCLASS_PUSHBUTTON_DISABLED", [16] = "PRODCLASS_PUSHBUTTON_EMERGENCY", [17] = "PRODCLASS_PUSHBUTTON_EXIT", [18] = "PRODCLASS_READER", [19] = "PRODCLASS_SECURITY_LOCK", [20] = "PRODCLASS_HYBRID_LOCK", [21] = "PRODCLASS_ELMECH_LOCKING_INTERFACE", [22] = "PRODCLASS_ESCAPE_ROUTE", }
local vs13 = { [0] = "Status Unknown", [1] = "Status Online", [2] = "Status Offline", [3] = "Unknown value", [4] = "Unknown value", [5] = "Unknown value", [6] = "Unknown value", [7] = "Unknown value", [8] = "Unknown value", [9] = "Unknown value", [10] = "Unknown value", [11] = "Unknown value", [12] = "Unknown value", [13] = "Unknown value", [14] = "Unknown value", [15] = "Unknown value", [16] = "Unknown value", [17] = "Unknown value", [18] = "Unknown value", [19] = "Unknown value", [20] = "Unknown value", [21] = "Unknown value", [22] = "Unknown value", [23] = "Unknown value", [24] = "Unknown value", [25] = "Unknown value", [26] = "Unknown value", [27] = "Unknown value", [28] = "Unknown value", [29] = "Unknown value", [30] = "Unknown value", [31] = "Unknown value", [32] = "Unknown value", [33] = "Unknown value", [34] = "Unknown value", [35] = "Unknown value", [36] = "Unknown value", [37] = "Unknown value", [38] = "Unknown value", [39] = "Unknown value", [40] = "Unknown value", [41] = "Unknown value", [42] = "Unknown value", [43] = "Unknown value", [44] = "Unknown value", [45] = "Unknown value", [46] = "Unknown value", [47] = "Unknown value", [48] = "Unknown value", [49] = "Unknown value", [50] = "Unknown value", [51] = "Unknown value", [52] = "Unknown value", [53] = "Unknown value", [54] = "Unknown value", [55] = "Unknown value", [56] = "Unknown value", [57] = "Unknown value", [58] = "Unknown value", [59] = "Unknown value", [60] = "Unknown value", [61] = "Unknown value", [62] = "Unknown value", [63] = "Unknown value", [64] = "Unknown value", [65] = "Unknown value", [66] = "Unknown value", [67] = "Unknown value", [68] = "Unknown value", [69] = "Unknown value", [70] = "Unknown value", [71] = "Unknown value", [72] = "Unknown value", [73] = "Unknown value", [74] = "Unknown value", [75] = "Unknown value", [76] = "Unknown value", [77] = "Unknown value", [78] = "Unknown value", [79] = "Unknown value", [80] = "Unknown value", [81] = "Unknown value", [82] = "Unknown value", [83] = "Unknown value", [84] = "Unknown value", [85] = "Unknown value", [86] = "Unknown value", [87] = "Unknown value", [88] = "Unknown value", [89] = "Unknown value", [90] = "Unknown value", [91] = "Unknown value", [92] = "Unknown value", [93] = "Unknown value", [94] = "Unknown value", [95] = "Unknown value", [96] = "Unknown value", [97] = "Unknown value", [98] = "Unknown value", [99] = "Unknown value", [100] = "Unknown value", [101] = "Unknown value", [102] = "Unknown value", [103] = "Unknown value", [104] = "Unknown value", [105] = "Unknown value", [106] = "Unknown value", [107] = "Unknown value", [108] = "Unknown value", [109] = "Unknown value", [110] = "Unknown value", [111] = "Unknown value", [112] = "Unknown value", [113] = "Unknown value", [114] = "Unknown value", [115] = "Unknown value", [116] = "Unknown value", [117] = "Unknown value", [118] = "Unknown value", [119] = "Unknown value", [120] = "Unknown value", [121] = "Unknown value", [122] = "Unknown value", [123] = "Unknown value", [124] = "Unknown value", [125] = "Unknown value", [126] = "Unknown value", [127] = "Unknown value", [128] = "Unknown value", [129] = "Unknown value", [130] = "Unknown value", [131] = "Unknown value", [132] = "Unknown value", [133] = "Unknown value", [134] = "Unknown value", [135] = "Unknown value", [136] = "Unknown value", [137] = "Unknown value", [138] = "Unknown value", [139] = "Unknown value", [140] = "Unknown value", [141] = "Unknown value", [142] = "Unknown value", [143] = "Unknown value", [144] = "Unknown value", [145] = "Unknown value", [146] = "Unknown value", [147] = "Unknown value", [148] = "Unknown value", [149] = "Unknown value", [150] = "Unknown value", [151] = "Unknown value", [152] = "Unknown value", [153] = "Unknown value", [154] = "Unknown value", [155] = "Unknown value", [156] = "Unknown value", [157] = "Unknown value", [158] = "Unknown value", [159] = "Unknown value", [160] = "Unknown value", [161] = "Unknown value", [162] = "Unknown value", [163] = "Unknown value", [164] = "Unknown value", [165] = "Unknown value", [166] = "Unknown value", [167] = "Unknown value", [168] = "Unknown value", [169] = "Unknown value", [170] = "Unknown value", [171] = "Unknown value", [172] = "Unknown value", [173] = "Unknown value", [174] = "Unknown value", [175] = "Unknown value", [176] = "Unknown value", [177] = "Unknown value", [178] = "Unknown value", [179] = "Unknown value", [180] = "Unknown value", [181] = "Unknown value", [182] = "Unknown value", [183] = "Unknown value", [184] = "Unknown value", [185] = "Unknown value", [186] = "Unknown value", [187] = "Unknown value", [188] = "Unknown value", [189] = "Unknown value", [190] = "Unknown value", [191] = "Unknown value", [192] = "Unknown value", [193] = "Unknown value", [194] = "Unknown value", [195] = "Unknown value", [196] = "Unknown value", [197] = "Unknown value", [198] = "Unknown value", [199] = "Unknown value", [200] = "Unknown value", [201] = "Unknown value", [202] = "Unknown value", [203] = "Unknown value", [204] = "Unknown value", [205] = "Unknown value", [206] = "Unknown value", [207] = "Unknown value", [208] = "Unknown value", [209] = "Unknown value", [210] = "Unknown value", [211] = "Unknown value", [212] = "Unknown value", [213] = "Unknown value", [214] = "Unknown value", [215] = "Unknown value", [216] = "Unknown value", [217] = "Unknown value", [218] = "Unknown value", [219] = "Unknown value", [220] = "Unknown value", [221] = "Unknown value", [222] = "Unknown value", [223] = "Unknown value", [224] = "Unknown value", [225] = "Unknown value", [226] = "Unknown value", [227] = "Unknown value", [228] = "Unknown value", [229] = "Unknown value", [230] = "Unknown value", [231] = "Unknown value", [232] = "Unknown value", [233] = "Unknown value", [234] = "Unknown value", [235] = "Unknown value", [236] = "Unknown value", [237] = "Unknown value", [238] = "Unknown value", [239] = "Unknown value", [240] = "Unknown value", [241] = "Unknown value", [242] = "Unknown value", [243] = "Unknown value", [244] = "Unknown value", [245] = "Unknown value", [246] = "Unknown value", [247] = "Unknown value", [248] = "Unknown value", [249] = "Unknown value", [250] = "Unknown value", [251] = "Unknown value", [252] = "Unknown value", [253] = "Unknown value", [254] = "Unknown value", [255] = "Unknown value", }
local vs14 = { [0] = "DIU_HW", [1] = "DEVICE_HW", [16] = "DIU_FW", [17] = "DEVICE_FW", }
local vs15 = { [32] = "MSGID_GET_VERSION", [33] = "MSGID_VERSION", [40] = "MSGID_RESULT", [48] = "MSGID_RESET", [65] = "MSGID_MIFARE_CREDENTIAL", [66] = "MSGID_MIFARE_CREDENTIAL_WITH_SECTOR_DATA", [67] = "MSGID_GENERIC_CREDENTIAL", [72] = "MSGID_ACCESS_DECISION", [73] = "MSGID_GET_ACTIVATOR_STATE", [81] = "MSGID_ACTIVATOR", [82] = "MSGID_INDICATE_CREDENTIAL_REQUEST", [84] = "MSGID_GRANT_ACCESS_SEQUENCE", [85] = "MSGID_SET_DOOR_MODE", [86] = "MSGID_RESET_DOOR_MODE", [87] = "MSGID_INDICATE_ACCESS_DENIED", [96] = "MSGID_GET_EVENT", [97] = "MSGID_EVENT", [112] = "MSGID_SET_PARAMETER", [113] = "MSGID_GET_PARAMETER", [114] = "MSGID_PARAMETER", [115] = "MSGID_KEYPAD", [160] = "MSGID_GET_SUPPORTED_LOCK_STATES", [161] = "MSGID_SUPPORTED_LOCK_STATES", [162] = "MSGID_GET_LOCK_STATE", [163] = "MSGID_LOCK_STATE", [165] = "MSGID_GET_SUPPORTED_DOOR_STATES", [166] = "MSGID_SUPPORTED_DOOR_STATES", [167] = "MSGID_GET_DOOR_STATE", [168] = "MSGID_DOOR_STATE", [170] = "MSGID_GET_ALL_HANDLE_STATES", [171] = "MSGID_HANDLE_STATE", [172] = "MSGID_GET_KEY_CYLINDER_STATE", [173] = "MSGID_KEY_CYLINDER_STATE", [174] = "MSGID_GET_TAMPER_STATE", [175] = "MSGID_TAMPER_STATE", [176] = "MSGID_GET_ALL_TAMPER_STATES", [177] = "MSGID_DEVICE_TAMPER_STATE", [178] = "MSGID_GET_DEVICE_INFO", [179] = "MSGID_DEVICE_INFO", [180] = "MSGID_GET_EXTENDED_DEVICE_INFO", [181] = "MSGID_EXTENDED_DEVICE_INFO", [182] = "MSGID_GET_DTCS", [183] = "MSGID_DTC", [184] = "MSGID_CLEAR_DTC", [185] = "MSGID_SET_PERMANENT_INDICATION", [186] = "MSGID_FIRMWARE_UPGRADE", [187] = "MSGID_FIRMWARE_STATUS_NOTIFICATION", [189] = "MSGID_BLOCK_DATA_TRANSPORT", [190] = "MSGID_SET_TIME", [191] = "MSGID_GET_ALL_STATES", [192] = "MSGID_GET_ALARMS", [193] = "MSGID_ALARM", [194] = "MSGID_CONFIRM_ALARM", [195] = "MSGID_ACTION_WITH_TIMER", [197] = "MSGID_DOOR_MODE", }
local vs16 = { [0] = "OK", [1] = "OK_OP_PENDING", [16] = "FAIL", [17] = "FAIL_UNKNOWN_CMD", [18] = "FAIL_PARAMETER_OUT_OF_RANGE", [20] = "FAIL_OPERATION_MODE", }
local vs17 = { [1] = "REQ_SEQ_ACTION_UNLOCK_AND_OPEN", [2] = "REQ_SEQ_ACTION_UNLOCK", }
local vs18 = { [0] = "TIMER_SPECIFIER_USE_DEFAULT", [1] = "TIMER_SPECIFIER_SET_TIME", }
local vs19 = { [1] = "RESTARTED", [17] = "BATTERY_FLAT", [18] = "BATTERY_LOW", [19] = "BATTERY_OK", [20] = "DEVICE_OFFLINE", [21] = "DEVICE_ONLINE", [22] = "RADIO_DISTURBANCE", [23] = "RADIO_DISTURBANCE_RESET", [65] = "WATCHDOG_RESET", }
local vs20 = { [1] = "PARAM_ID_TMO_SLAVE_OFFLINE", [2] = "PARAM_ID_TMO_SLAVE_MIN", [3] = "PARAM_ID_TMO_SLAVE_PROBE_MAX", [4] = "PARAM_ID_TMO_SLAVE_POLL_MAX", [32] = "PARAM_ID_RX_BUF_LENGTH", [67] = "PARAM_ID_EAC_PARAM_A", [68] = "PARAM_ID_EAC_PARAM_B", [71] = "PARAM_ID_EAC_OEM_FLASH_PARAM_A", [72] = "PARAM_ID_EAC_OEM_FLASH_PARAM_B", [128] = "PARAM_ID_OEM_PARAM_128", [129] = "PARAM_ID_OEM_PARAM_129", [130] = "PARAM_ID_OEM_PARAM_130", [131] = "PARAM_ID_OEM_PARAM_131", [132] = "PARAM_ID_OEM_PARAM_132", [133] = "PARAM_ID_OEM_PARAM_133", [134] = "PARAM_ID_OEM_PARAM_134", [135] = "PARAM_ID_OEM_PARAM_135", [136] = "PARAM_ID_OEM_PARAM_136", [137] = "PARAM_ID_OEM_PARAM_137", [138] = "PARAM_ID_OEM_PARAM_138", [139] = "PARAM_ID_OEM_PARAM_139", [140] = "PARAM_ID_OEM_PARAM_140", [141] = "PARAM_ID_OEM_PARAM_141", [142] = "PARAM_ID_OEM_PARAM_142", [143] = "PARAM_ID_OEM_PARAM_143", [144] = "PARAM_ID_OEM_PARAM_144", [145] = "PARAM_ID_OEM_PARAM_145", [146] = "PARAM_ID_OEM_PARAM_146", [147] = "PARAM_ID_OEM_PARAM_147", [148] = "PARAM_ID_OEM_PARAM_148", [149] = "PARAM_ID_OEM_PARAM_149", [150] = "PARAM_ID_OEM_PARAM_150", [151] = "PARAM_ID_OEM_PARAM_151", [152] = "PARAM_ID_OEM_PARAM_152", [153] = "PARAM_ID_OEM_PARAM_153", [154] = "PARAM_ID_OEM_PARAM_154", [155] = "PARAM_ID_OEM_PARAM_155", [156] = "PARAM_ID_OEM_PARAM_156", [157] = "PARAM_ID_OEM_PARAM_157", [158] = "PARAM_ID_OEM_PARAM_158", [159] = "PARAM_ID_OEM_PARAM_159", }
local vs21 = { [0] = "DTC_REQUEST_ALL", [1] = "DTC_REQUEST_CONFIRMED", [2] = "DTC_REQUEST_UNCOMPLETED", [3] = "DTC_REQUEST_ACTIVE", }
local vs22 = { [0] = "ALARM_REQUEST_INACTIVE_NOT_OCCURRED", [1] = "ALARM_REQUEST_ACTIVE_CONFIRMED", [2] = "ALARM_REQUEST_INACTIVE_OCCURRED", [3] = "ALARM_REQUEST_ACTIVE_NOT_CONFIRMED", [255] = "ALARM_REQUEST_ALL", }
local vs23 = { [0] = "ZV_EAC_ALARM_UNKNOWN_ALARM", [1] = "ZV_EAC_ALARM_FIRE", [2] = "ZV_EAC_ALARM_BURGLARY", [3] = "ZV_EAC_ALARM_PANIC", [4] = "ZV_EAC_ALARM_RESERVED_ID", [5] = "ZV_EAC_ALARM_RESERVED_ID", [6] = "ZV_EAC_ALARM_RESERVED_ID", [7] = "ZV_EAC_ALARM_RESERVED_ID", [8] = "ZV_EAC_ALARM_RESERVED_ID", [9] = "ZV_EAC_ALARM_RESERVED_ID", [10] = "ZV_EAC_ALARM_RESERVED_ID", [11] = "ZV_EAC_ALARM_RESERVED_ID", [12] = "ZV_EAC_ALARM_RESERVED_ID", [13] = "ZV_EAC_ALARM_RESERVED_ID", [14] = "ZV_EAC_ALARM_RESERVED_ID", [15] = "ZV_EAC_ALARM_RESERVED_ID", [16] = "ZV_EAC_ALARM_RESERVED_ID", [17] = "ZV_EAC_ALARM_RESERVED_ID", [18] = "ZV_EAC_ALARM_RESERVED_ID", [19] = "ZV_EAC_ALARM_RESERVED_ID", [20] = "ZV_EAC_ALARM_RESERVED_ID", [21] = "ZV_EAC_ALARM_RESERVED_ID", [22] = "ZV_EAC_ALARM_RESERVED_ID", [23] = "ZV_EAC_ALARM_RESERVED_ID", [24] = "ZV_EAC_ALARM_RESERVED_ID", [25] = "ZV_EAC_ALARM_RESERVED_ID", [26] = "ZV_EAC_ALARM_RESERVED_ID", [27] = "ZV_EAC_ALARM_RESERVED_ID", [28] = "ZV_EAC_ALARM_RESERVED_ID", [29] = "ZV_EAC_ALARM_RESERVED_ID", [30] = "ZV_EAC_ALARM_RESERVED_ID", [31] = "ZV_EAC_ALARM_RESERVED_ID", [32] = "ZV_EAC_ALARM_RESERVED_ID", [33] = "ZV_EAC_ALARM_RESERVED_ID", [34] = "ZV_EAC_ALARM_RESERVED_ID", [35] = "ZV_EAC_ALARM_RESERVED_ID", [36] = "ZV_EAC_ALARM_RESERVED_ID", [37] = "ZV_EAC_ALARM_RESERVED_ID", [38] = "ZV_EAC_ALARM_RESERVED_ID", [39] = "ZV_EAC_ALARM_RESERVED_ID", [40] = "ZV_EAC_ALARM_RESERVED_ID", [41] = "ZV_EAC_ALARM_RESERVED_ID", [42] = "ZV_EAC_ALARM_RESERVED_ID", [43] = "ZV_EAC_ALARM_RESERVED_ID", [44] = "ZV_EAC_ALARM_RESERVED_ID", [45] = "ZV_EAC_ALARM_RESERVED_ID", [46] = "ZV_EAC_ALARM_RESERVED_ID", [47] = "ZV_EAC_ALARM_RESERVED_ID", [48] = "ZV_EAC_ALARM_RESERVED_ID", [49] = "ZV_EAC_ALARM_RESERVED_ID", [50] = "ZV_EAC_ALARM_RESERVED_ID", [51] = "ZV_EAC_ALARM_RESERVED_ID", [52] = "ZV_EAC_ALARM_RESERVED_ID", [53] = "ZV_EAC_ALARM_RESERVED_ID", [54] = "ZV_EAC_ALARM_RESERVED_ID", [55] = "ZV_EAC_ALARM_RESERVED_ID", [56] = "ZV_EAC_ALARM_RESERVED_ID", [57] = "ZV_EAC_ALARM_RESERVED_ID", [58] = "ZV_EAC_ALARM_RESERVED_ID", [59] = "ZV_EAC_ALARM_RESERVED_ID", [60] = "ZV_EAC_ALARM_RESERVED_ID", [61] = "ZV_EAC_ALARM_RESERVED_ID", [62] = "ZV_EAC_ALARM_RESERVED_ID", [63] = "ZV_EAC_ALARM_RESERVED_ID", [64] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [65] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [66] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [67] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [68] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [69] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [70] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [71] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [72] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [73] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [74] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [75] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [76] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [77] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [78] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [79] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [80] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [81] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [82] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [83] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [84] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [85] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [86] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [87] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [88] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [89] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [90] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [91] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [92] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [93] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [94] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [95] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [96] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [97] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [98] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [99] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [100] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [101] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [102] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [103] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [104] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [105] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [106] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [107] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [108] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [109] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [110] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [111] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [112] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [113] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [114] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [115] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [116] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [117] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [118] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [119] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [120] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [121] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [122] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [123] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [124] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [125] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [126] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [127] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [128] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [129] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [130] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [131] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [132] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [133] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [134] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [135] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [136] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [137] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [138] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [139] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [140] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [141] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [142] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [143] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [144] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [145] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [146] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [147] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [148] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [149] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [150] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [151] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [152] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [153] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [154] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [155] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [156] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [157] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [158] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [159] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [160] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [161] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [162] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [163] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [164] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [165] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [166] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [167] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [168] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [169] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [170] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [171] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [172] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [173] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [174] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [175] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [176] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [177] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [178] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [179] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [180] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [181] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [182] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [183] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [184] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [185] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [186] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [187] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [188] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [189] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [190] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [191] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [192] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [193] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [194] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [195] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [196] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [197] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [198] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [199] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [200] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [201] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [202] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [203] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [204] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [205] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [206] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [207] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [208] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [209] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [210] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [211] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [212] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [213] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [214] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [215] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [216] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [217] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [218] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [219] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [220] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [221] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [222] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [223] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [224] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [225] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [226] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [227] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [228] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [229] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [230] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [231] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [232] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [233] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [234] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [235] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [236] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [237] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [238] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [239] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [240] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [241] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [242] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [243] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [244] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [245] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [246] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [247] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [248] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [249] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [250] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [251] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [252] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [253] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [254] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", [255] = "ZV_EAC_ALARM_APPLICATION_SPECIFIC_ID", }
local vs24 = { [0] = "CREDBLOCKTYPE_UNKNOWN", [256] = "CREDBLOCKTYPE_SOURCE_DETAILS", [512] = "CREDBLOCKTYPE_MIFARE_UID", [513] = "CREDBLOCKTYPE_UNDEFINED_DYNAMIC_DATA", [768] = "CREDBLOCKTYPE_ICLASS_ACCESS_ID", [1024] = "CREDBLOCKTYPE_ISO_14443B_UID", [1280] = "CREDBLOCKTYPE_ISO_15693_UID", [1536] = "CREDBLOCKTYPE_LEGIC_UID", [1792] = "CREDBLOCKTYPE_SEOS_CREDENTIAL", }
local vs25 = { [1] = "MIFARE", [2] = "ICLASS", [3] = "LOW_FREQUENCY", [5] = "PICO_PASS", [6] = "LEGIC", [7] = "SEOS", }

local bf = {}
bf["activator.device_id"] = ProtoField.bytes("zveac.activator.device_id", "Device id", base.SPACE)
bf["activator.door_side"] = ProtoField.uint8("zveac.activator.door_side", "Door side", base.HEX, vs1)
bf["activator.activator_state"] = ProtoField.uint8("zveac.activator.activator_state", "Activator state", base.DEC, vs2)
bf["activator.activator_id"] = ProtoField.uint8("zveac.activator.activator_id", "Activator id", base.HEX, nil)
bf["set_door_mode.door_mode"] = ProtoField.uint8("zveac.set_door_mode.door_mode", "Door mode", base.DEC, vs3)
bf["set_door_mode.time"] = ProtoField.uint32("zveac.set_door_mode.time", "Time", base.DEC, nil)
bf["set_door_mode.indication_mode"] = ProtoField.uint8("zveac.set_door_mode.indication_mode", "Indication mode", base.DEC, vs4)
bf["set_door_mode.door_side"] = ProtoField.uint8("zveac.set_door_mode.door_side", "Door side", base.DEC, vs1)
bf["set_door_mode.indication_status"] = ProtoField.uint32("zveac.set_door_mode.indication_status", "Indication status", base.HEX, nil)
bf["set_door_mode.indication_mask"] = ProtoField.uint32("zveac.set_door_mode.indication_mask", "Indication mask", base.HEX, nil)
bf["set_door_mode.indication_flags"] = ProtoField.none("zveac.set_door_mode.indication_flags", "Indication flags")
bf["set_door_mode.indication_flags.flag"] = ProtoField.uint32("zveac.set_door_mode.indication_flags.flag", "Flag", base.HEX, nil)
bf["set_door_mode.physical_representation"] = ProtoField.uint8("zveac.set_door_mode.physical_representation", "Physical representation", base.HEX, nil)
bf["set_door_mode.physical_representation_flags"] = ProtoField.none("zveac.set_door_mode.physical_representation_flags", "Physical representation flags")
bf["set_door_mode.physical_representation_flags.flag"] = ProtoField.uint8("zveac.set_door_mode.physical_representation_flags.flag", "Flag", base.HEX, vs5)
bf["set_door_mode.light_indication"] = ProtoField.uint8("zveac.set_door_mode.light_indication", "Light indication", base.DEC, vs6)
bf["supported_lock_states.states"] = ProtoField.none("zveac.supported_lock_states.states", "States")
bf["supported_lock_states.states.state"] = ProtoField.uint8("zveac.supported_lock_states.states.state", "State", base.DEC, vs7)
bf["lock_state.state"] = ProtoField.uint8("zveac.lock_state.state", "State", base.DEC, vs7)
bf["supported_door_states.states"] = ProtoField.none("zveac.supported_door_states.states", "States")
bf["supported_door_states.states.state"] = ProtoField.uint8("zveac.supported_door_states.states.state", "State", base.DEC, vs8)
bf["door_state.state"] = ProtoField.uint8("zveac.door_state.state", "State", base.DEC, vs8)
bf["handle_state.state"] = ProtoField.uint8("zveac.handle_state.state", "State", base.DEC, vs9)
bf["handle_state.device_id"] = ProtoField.bytes("zveac.handle_state.device_id", "Device id", base.SPACE)
bf["handle_state.door_side"] = ProtoField.uint8("zveac.handle_state.door_side", "Door side", base.DEC, vs1)
bf["key_cylinder_state.state"] = ProtoField.uint8("zveac.key_cylinder_state.state", "State", base.DEC, vs10)
bf["key_cylinder_state.device_id"] = ProtoField.bytes("zveac.key_cylinder_state.device_id", "Device id", base.SPACE)
bf["key_cylinder_state.door_side"] = ProtoField.uint8("zveac.key_cylinder_state.door_side", "Door side", base.DEC, vs1)
bf["tamper_state.state"] = ProtoField.uint8("zveac.tamper_state.state", "State", base.DEC, vs11)
bf["device_tamper_state.state"] = ProtoField.uint8("zveac.device_tamper_state.state", "State", base.DEC, vs11)
bf["device_tamper_state.device_id"] = ProtoField.bytes("zveac.device_tamper_state.device_id", "Device id", base.SPACE)
bf["device_info.device_id"] = ProtoField.bytes("zveac.device_info.device_id", "Device id", base.SPACE)
bf["device_info.host_device_id"] = ProtoField.bytes("zveac.device_info.host_device_id", "Host device id", base.SPACE)
bf["device_info.door_side"] = ProtoField.uint8("zveac.device_info.door_side", "Door side", base.DEC, vs1)
bf["device_info.product_class"] = ProtoField.uint8("zveac.device_info.product_class", "Product class", base.DEC, vs12)
bf["get_extended_device_info.device_id"] = ProtoField.bytes("zveac.get_extended_device_info.device_id", "Device id", base.SPACE)
bf["get_extended_device_info.data_id"] = ProtoField.uint32("zveac.get_extended_device_info.data_id", "Data id", base.HEX, nil)
bf["extended_device_info.device_id"] = ProtoField.bytes("zveac.extended_device_info.device_id", "Device id", base.SPACE)
bf["extended_device_info.online_status"] = ProtoField.uint8("zveac.extended_device_info.online_status", "Online status", base.DEC, vs13)
bf["extended_device_info.data_id"] = ProtoField.uint32("zveac.extended_device_info.data_id", "Data id", base.HEX, nil)
bf["extended_device_info.data_length"] = ProtoField.uint8("zveac.extended_device_info.data_length", "Data length", base.DEC, nil)
bf["extended_device_info.data"] = ProtoField.bytes("zveac.extended_device_info.data", "Data", base.SPACE)
bf["set_permanent_indication.door_side"] = ProtoField.uint8("zveac.set_permanent_indication.door_side", "Door side", base.HEX, vs1)
bf["set_permanent_indication.indication_status"] = ProtoField.uint32("zveac.set_permanent_indication.indication_status", "Indication status", base.HEX, nil)
bf["set_permanent_indication.indication_mask"] = ProtoField.uint32("zveac.set_permanent_indication.indication_mask", "Indication mask", base.HEX, nil)
bf["set_permanent_indication.indication_flags"] = ProtoField.none("zveac.set_permanent_indication.indication_flags", "Indication flags")
bf["set_permanent_indication.indication_flags.flag"] = ProtoField.uint32("zveac.set_permanent_indication.indication_flags.flag", "Flag", base.HEX, nil)
bf["set_permanent_indication.physical_representation"] = ProtoField.uint8("zveac.set_permanent_indication.physical_representation", "Physical representation", base.HEX, nil)
bf["set_permanent_indication.physical_representation_flags"] = ProtoField.none("zveac.set_permanent_indication.physical_representation_flags", "Physical representation flags")
bf["set_permanent_indication.physical_representation_flags.flag"] = ProtoField.uint8("zveac.set_permanent_indication.physical_representation_flags.flag", "Flag", base.HEX, vs5)
bf["get_all_states.device_id"] = ProtoField.bytes("zveac.get_all_states.device_id", "Device id", base.SPACE)
bf["door_mode.mode"] = ProtoField.uint8("zveac.door_mode.mode", "Mode", base.DEC, vs3)
bf["get_version.selector"] = ProtoField.uint8("zveac.get_version.selector", "Selector", base.DEC, vs14)
bf["version.protocol_major"] = ProtoField.uint8("zveac.version.protocol_major", "Protocol major", base.DEC, nil)
bf["version.protocol_minor"] = ProtoField.uint8("zveac.version.protocol_minor", "Protocol minor", base.DEC, nil)
bf["version.vendor_id"] = ProtoField.uint8("zveac.version.vendor_id", "Vendor id", base.DEC, nil)
bf["version.product_id"] = ProtoField.uint8("zveac.version.product_id", "Product id", base.DEC, nil)
bf["version.selector"] = ProtoField.uint8("zveac.version.selector", "Selector", base.DEC, vs14)
bf["version.version_major"] = ProtoField.uint8("zveac.version.version_major", "Version major", base.DEC, nil)
bf["version.version_minor"] = ProtoField.uint8("zveac.version.version_minor", "Version minor", base.DEC, nil)
bf["version.build"] = ProtoField.uint16("zveac.version.build", "Build", base.DEC, nil)
bf["version.text"] = ProtoField.string("zveac.version.text", "Text")
bf["result.command"] = ProtoField.uint8("zveac.result.command", "Command", base.DEC, vs15)
bf["result.result"] = ProtoField.uint8("zveac.result.result", "Result", base.DEC, vs16)
bf["reset.target"] = ProtoField.uint8("zveac.reset.target", "Target", base.DEC, nil)
bf["access_decision.decision"] = ProtoField.uint8("zveac.access_decision.decision", "Decision", base.DEC, nil)
bf["indicate_credential_request.indication_code"] = ProtoField.uint16("zveac.indicate_credential_request.indication_code", "Indication code", base.DEC, nil)
bf["grant_access_sequence.requested_action"] = ProtoField.uint8("zveac.grant_access_sequence.requested_action", "Requested action", base.DEC, vs17)
bf["grant_access_sequence.open_timer_specifier"] = ProtoField.uint8("zveac.grant_access_sequence.open_timer_specifier", "Open timer specifier", base.DEC, vs18)
bf["grant_access_sequence.open_time"] = ProtoField.uint16("zveac.grant_access_sequence.open_time", "Open time", base.DEC, nil)
bf["grant_access_sequence.indication_mode"] = ProtoField.uint8("zveac.grant_access_sequence.indication_mode", "Indication mode", base.DEC, vs4)
bf["grant_access_sequence.door_side"] = ProtoField.uint8("zveac.grant_access_sequence.door_side", "Door side", base.DEC, vs1)
bf["grant_access_sequence.indication_status"] = ProtoField.uint32("zveac.grant_access_sequence.indication_status", "Indication status", base.HEX, nil)
bf["grant_access_sequence.indication_mask"] = ProtoField.uint32("zveac.grant_access_sequence.indication_mask", "Indication mask", base.HEX, nil)
bf["grant_access_sequence.indication_flags"] = ProtoField.none("zveac.grant_access_sequence.indication_flags", "Indication flags")
bf["grant_access_sequence.indication_flags.flag"] = ProtoField.uint32("zveac.grant_access_sequence.indication_flags.flag", "Flag", base.HEX, nil)
bf["grant_access_sequence.physical_representation"] = ProtoField.uint8("zveac.grant_access_sequence.physical_representation", "Physical representation", base.HEX, nil)
bf["grant_access_sequence.physical_representation_flags"] = ProtoField.none("zveac.grant_access_sequence.physical_representation_flags", "Physical representation flags")
bf["grant_access_sequence.physical_representation_flags.flag"] = ProtoField.uint8("zveac.grant_access_sequence.physical_representation_flags.flag", "Flag", base.HEX, vs5)
bf["grant_access_sequence.light_indication"] = ProtoField.uint8("zveac.grant_access_sequence.light_indication", "Light indication", base.DEC, vs6)
bf["indicate_access_denied.indication_mode"] = ProtoField.uint8("zveac.indicate_access_denied.indication_mode", "Indication mode", base.DEC, vs4)
bf["indicate_access_denied.door_side"] = ProtoField.uint8("zveac.indicate_access_denied.door_side", "Door side", base.DEC, vs1)
bf["indicate_access_denied.indication_status"] = ProtoField.uint32("zveac.indicate_access_denied.indication_status", "Indication status", base.HEX, nil)
bf["indicate_access_denied.indication_mask"] = ProtoField.uint32("zveac.indicate_access_denied.indication_mask", "Indication mask", base.HEX, nil)
bf["indicate_access_denied.indication_flags"] = ProtoField.none("zveac.indicate_access_denied.indication_flags", "Indication flags")
bf["indicate_access_denied.indication_flags.flag"] = ProtoField.uint32("zveac.indicate_access_denied.indication_flags.flag", "Flag", base.HEX, nil)
bf["indicate_access_denied.physical_representation"] = ProtoField.uint8("zveac.indicate_access_denied.physical_representation", "Physical representation", base.HEX, nil)
bf["indicate_access_denied.physical_representation_flags"] = ProtoField.none("zveac.indicate_access_denied.physical_representation_flags", "Physical representation flags")
bf["indicate_access_denied.physical_representation_flags.flag"] = ProtoField.uint8("zveac.indicate_access_denied.physical_representation_flags.flag", "Flag", base.HEX, vs5)
bf["indicate_access_denied.light_indication"] = ProtoField.uint8("zveac.indicate_access_denied.light_indication", "Light indication", base.DEC, vs6)
bf["get_event.index"] = ProtoField.uint16("zveac.get_event.index", "Index", base.HEX, nil)
bf["event.timestamp"] = ProtoField.bytes("zveac.event.timestamp", "Timestamp", base.SPACE)
bf["event.event"] = ProtoField.uint8("zveac.event.event", "Event", base.DEC, vs19)
bf["event.event_code"] = ProtoField.uint8("zveac.event.event_code", "Event code", base.HEX, nil)
bf["event.details"] = ProtoField.uint16("zveac.event.details", "Details", base.HEX, nil)
bf["set_parameter.parameter_id"] = ProtoField.uint8("zveac.set_parameter.parameter_id", "Parameter id", base.DEC, vs20)
bf["set_parameter.value"] = ProtoField.uint32("zveac.set_parameter.value", "Value", base.DEC, nil)
bf["get_parameter.parameter_id"] = ProtoField.uint8("zveac.get_parameter.parameter_id", "Parameter id", base.DEC, vs20)
bf["parameter.parameter_id"] = ProtoField.uint8("zveac.parameter.parameter_id", "Parameter id", base.DEC, vs20)
bf["parameter.value"] = ProtoField.uint32("zveac.parameter.value", "Value", base.DEC, nil)
bf["keypad.device_id"] = ProtoField.bytes("zveac.keypad.device_id", "Device id", base.SPACE)
bf["keypad.door_side"] = ProtoField.uint8("zveac.keypad.door_side", "Door side", base.HEX, vs1)
bf["keypad.key_count"] = ProtoField.uint8("zveac.keypad.key_count", "Key count", base.HEX, nil)
bf["keypad.keys"] = ProtoField.none("zveac.keypad.keys", "Keys")
bf["keypad.keys.key"] = ProtoField.uint8("zveac.keypad.keys.key", "Key", base.DEC, nil)
bf["get_dtcs.device_id"] = ProtoField.bytes("zveac.get_dtcs.device_id", "Device id", base.SPACE)
bf["get_dtcs.request"] = ProtoField.uint8("zveac.get_dtcs.request", "Request", base.DEC, vs21)
bf["dtc.device_id"] = ProtoField.bytes("zveac.dtc.device_id", "Device id", base.SPACE)
bf["dtc.dtc_id"] = ProtoField.uint32("zveac.dtc.dtc_id", "Dtc id", base.HEX, nil)
bf["dtc.test_failed"] = ProtoField.uint8("zveac.dtc.test_failed", "Test failed", base.DEC, nil, 1)
bf["dtc.confirmed"] = ProtoField.uint8("zveac.dtc.confirmed", "Confirmed", base.DEC, nil, 2)
bf["dtc.test_completed"] = ProtoField.uint8("zveac.dtc.test_completed", "Test completed", base.DEC, nil, 4)
bf["clear_dtc.device_id"] = ProtoField.bytes("zveac.clear_dtc.device_id", "Device id", base.SPACE)
bf["clear_dtc.dtc_id"] = ProtoField.uint32("zveac.clear_dtc.dtc_id", "Dtc id", base.HEX, nil)
bf["firmware_upgrade.device_id"] = ProtoField.bytes("zveac.firmware_upgrade.device_id", "Device id", base.SPACE)
bf["firmware_upgrade.file_reference"] = ProtoField.string("zveac.firmware_upgrade.file_reference", "File reference")
bf["firmware_status_notification.device_id"] = ProtoField.bytes("zveac.firmware_status_notification.device_id", "Device id", base.SPACE)
bf["firmware_status_notification.status"] = ProtoField.uint8("zveac.firmware_status_notification.status", "Status", base.DEC, nil)
bf["firmware_status_notification.status_details"] = ProtoField.uint8("zveac.firmware_status_notification.status_details", "Status details", base.DEC, nil)
bf["firmware_status_notification.device_string"] = ProtoField.string("zveac.firmware_status_notification.device_string", "Device string")
bf["block_data_transport.op_code"] = ProtoField.uint8("zveac.block_data_transport.op_code", "Op code", base.DEC, nil)
bf["block_data_transport.payload_length"] = ProtoField.uint8("zveac.block_data_transport.payload_length", "Payload length", base.DEC, nil)
bf["block_data_transport.block"] = ProtoField.uint16("zveac.block_data_transport.block", "Block", base.DEC, nil)
bf["set_time.time"] = ProtoField.bytes("zveac.set_time.time", "Time", base.SPACE)
bf["set_time.time_function"] = ProtoField.uint8("zveac.set_time.time_function", "Time function", base.DEC, nil)
bf["set_time.time_zone_offset"] = ProtoField.uint8("zveac.set_time.time_zone_offset", "Time zone offset", base.DEC, nil)
bf["get_alarms.device_id"] = ProtoField.bytes("zveac.get_alarms.device_id", "Device id", base.SPACE)
bf["get_alarms.request"] = ProtoField.uint8("zveac.get_alarms.request", "Request", base.DEC, vs22)
bf["alarm.device_id"] = ProtoField.bytes("zveac.alarm.device_id", "Device id", base.SPACE)
bf["alarm.alarm_id"] = ProtoField.uint8("zveac.alarm.alarm_id", "Alarm id", base.HEX, vs23)
bf["alarm.alarm_details"] = ProtoField.uint8("zveac.alarm.alarm_details", "Alarm details", base.HEX, nil)
bf["alarm.alarm_level"] = ProtoField.uint8("zveac.alarm.alarm_level", "Alarm level", base.HEX, nil)
bf["alarm.active"] = ProtoField.uint8("zveac.alarm.active", "Active", base.DEC, nil, 1)
bf["alarm.occurred"] = ProtoField.uint8("zveac.alarm.occurred", "Occurred", base.DEC, nil, 2)
bf["confirm_alarm.device_id"] = ProtoField.bytes("zveac.confirm_alarm.device_id", "Device id", base.SPACE)
bf["confirm_alarm.alarm_id"] = ProtoField.uint8("zveac.confirm_alarm.alarm_id", "Alarm id", base.HEX, nil)
bf["mifare_credential.bits"] = ProtoField.uint8("zveac.mifare_credential.bits", "Bits", base.DEC, nil)
bf["mifare_credential.uid"] = ProtoField.bytes("zveac.mifare_credential.uid", "Uid", base.SPACE)
bf["mifare_credential_with_sector_data.card_type"] = ProtoField.uint8("zveac.mifare_credential_with_sector_data.card_type", "Card type", base.DEC, nil)
bf["mifare_credential_with_sector_data.uid_length"] = ProtoField.uint8("zveac.mifare_credential_with_sector_data.uid_length", "Uid length", base.DEC, nil)
bf["mifare_credential_with_sector_data.data_length"] = ProtoField.uint8("zveac.mifare_credential_with_sector_data.data_length", "Data length", base.DEC, nil)
bf["mifare_credential_with_sector_data.uid"] = ProtoField.bytes("zveac.mifare_credential_with_sector_data.uid", "Uid", base.SPACE)
bf["mifare_credential_with_sector_data.data"] = ProtoField.bytes("zveac.mifare_credential_with_sector_data.data", "Data", base.SPACE)
bf["generic_credential.device_id"] = ProtoField.bytes("zveac.generic_credential.device_id", "Device id", base.SPACE)
bf["generic_credential.door_side"] = ProtoField.uint8("zveac.generic_credential.door_side", "Door side", base.DEC, vs1)
bf["generic_credential.invalid_container"] = ProtoField.bytes("zveac.generic_credential.invalid_container", "Invalid container", base.SPACE)
bf["generic_credential.blocks"] = ProtoField.none("zveac.generic_credential.blocks", "Blocks")
bf["generic_credential.blocks.block"] = ProtoField.none("zveac.generic_credential.blocks.block", "Block")
bf["generic_credential.blocks.block.number"] = ProtoField.uint8("zveac.generic_credential.blocks.block.number", "Number", base.DEC, nil)
bf["generic_credential.blocks.block.type"] = ProtoField.uint16("zveac.generic_credential.blocks.block.type", "Type", base.DEC, vs24)
bf["generic_credential.blocks.block.bits"] = ProtoField.uint16("zveac.generic_credential.blocks.block.bits", "Bits", base.DEC, nil)
bf["generic_credential.blocks.block.data"] = ProtoField.bytes("zveac.generic_credential.blocks.block.data", "Data", base.SPACE)
bf["generic_credential.blocks.block.source_details"] = ProtoField.none("zveac.generic_credential.blocks.block.source_details", "Source details")
bf["generic_credential.blocks.block.source_details.main_type"] = ProtoField.uint8("zveac.generic_credential.blocks.block.source_details.main_type", "Main type", base.DEC, vs25)
bf["generic_credential.blocks.block.source_details.sub_type"] = ProtoField.uint8("zveac.generic_credential.blocks.block.source_details.sub_type", "Sub type", base.DEC, nil)

-- Forms of each body, in the order they are tried.
local layouts = {
    [0x20] = {
        { key = "get_version", size = 1, rows = {{ k = "num", f = "get_version.selector", o = 0, w = 1 }, } },
    },
    [0x21] = {
        { key = "version", size = 9, rows = { } },
    },
    [0x28] = {
        { key = "result", size = 2, rows = {{ k = "num", f = "result.command", o = 0, w = 1 },{ k = "num", f = "result.result", o = 1, w = 1 }, } },
    },
    [0x30] = {
        { key = "reset", size = 1, rows = { } },
    },
    [0x41] = {
        { key = "mifare_credential", size = 1, rows = { } },
    },
    [0x42] = {
        { key = "mifare_credential_with_sector_data", size = 12, rows = { } },
    },
    [0x43] = {
        { key = "generic_credential", size = 13, rows = { } },
    },
    [0x48] = {
        { key = "access_decision", size = 1, rows = { } },
    },
    [0x51] = {
        { key = "activator", size = 14, when = "len", at = 15, rows = {{ k = "bytes", f = "activator.device_id", o = 0, w = 12 },{ k = "num", f = "activator.door_side", o = 12, w = 1 },{ k = "num", f = "activator.activator_state", o = 13, w = 1 }, } },
        { key = "activator", size = 15, when = "len", at = 16, rows = {{ k = "bytes", f = "activator.device_id", o = 0, w = 12 },{ k = "num", f = "activator.door_side", o = 12, w = 1 },{ k = "num", f = "activator.activator_state", o = 13, w = 1 },{ k = "num", f = "activator.activator_id", o = 14, w = 1 }, } },
    },
    [0x52] = {
        { key = "indicate_credential_request", size = 2, rows = { } },
    },
    [0x54] = {
        { key = "grant_access_sequence", size = 15, when = "byte", at = 4, value = 2, rows = {{ k = "num", f = "grant_access_sequence.requested_action", o = 0, w = 1 },{ k = "num", f = "grant_access_sequence.open_timer_specifier", o = 1, w = 1 },{ k = "num", f = "grant_access_sequence.open_time", o = 2, w = 2 },{ k = "num", f = "grant_access_sequence.indication_mode", o = 4, w = 1 },{ k = "num", f = "grant_access_sequence.door_side", o = 5, w = 1 },{ k = "flags", key = "grant_access_sequence", o = 6, m = 10 },{ k = "phys", key = "grant_access_sequence", o = 14 }, } },
        { key = "grant_access_sequence", size = 5, rows = {{ k = "num", f = "grant_access_sequence.requested_action", o = 0, w = 1 },{ k = "num", f = "grant_access_sequence.open_timer_specifier", o = 1, w = 1 },{ k = "num", f = "grant_access_sequence.open_time", o = 2, w = 2 },{ k = "num", f = "grant_access_sequence.light_indication", o = 4, w = 1 }, } },
    },
    [0x55] = {
        { key = "set_door_mode", size = 16, when = "byte", at = 5, value = 2, rows = {{ k = "num", f = "set_door_mode.door_mode", o = 0, w = 1 },{ k = "custom", c = "set_door_mode.time" },{ k = "num", f = "set_door_mode.indication_mode", o = 5, w = 1 },{ k = "num", f = "set_door_mode.door_side", o = 6, w = 1 },{ k = "flags", key = "set_door_mode", o = 7, m = 11 },{ k = "phys", key = "set_door_mode", o = 15 }, } },
        { key = "set_door_mode", size = 6, rows = {{ k = "num", f = "set_door_mode.door_mode", o = 0, w = 1 },{ k = "custom", c = "set_door_mode.time" },{ k = "num", f = "set_door_mode.light_indication", o = 5, w = 1 }, } },
    },
    [0x57] = {
        { key = "indicate_access_denied", size = 11, when = "byte", at = 0, value = 2, rows = {{ k = "num", f = "indicate_access_denied.indication_mode", o = 0, w = 1 },{ k = "num", f = "indicate_access_denied.door_side", o = 1, w = 1 },{ k = "flags", key = "indicate_access_denied", o = 2, m = 6 },{ k = "phys", key = "indicate_access_denied", o = 10 }, } },
        { key = "indicate_access_denied", size = 1, rows = {{ k = "num", f = "indicate_access_denied.light_indication", o = 0, w = 1 }, } },
    },
    [0x60] = {
        { key = "get_event", size = 2, rows = {{ k = "num", f = "get_event.index", o = 0, w = 2 }, } },
    },
    [0x61] = {
        { key = "event", size = 9, rows = {{ k = "bytes", f = "event.timestamp", o = 0, w = 6 },{ k = "num", f = "event.event", o = 6, w = 1 },{ k = "num", f = "event.event_code", o = 6, w = 1 },{ k = "num", f = "event.details", o = 7, w = 2 }, } },
    },
    [0x70] = {
        { key = "set_parameter", size = 1, rows = { } },
    },
    [0x71] = {
        { key = "get_parameter", size = 1, rows = {{ k = "num", f = "get_parameter.parameter_id", o = 0, w = 1 }, } },
    },
    [0x72] = {
        { key = "parameter", size = 1, rows = { } },
    },
    [0x73] = {
        { key = "keypad", size = 14, rows = {{ k = "bytes", f = "keypad.device_id", o = 0, w = 12 },{ k = "num", f = "keypad.door_side", o = 12, w = 1 },{ k = "num", f = "keypad.key_count", o = 13, w = 1 },{ k = "custom", c = "keypad.keys" }, } },
    },
    [0xa1] = {
        { key = "supported_lock_states", size = 1, rows = {{ k = "custom", c = "supported_lock_states.states" }, } },
    },
    [0xa3] = {
        { key = "lock_state", size = 1, rows = {{ k = "num", f = "lock_state.state", o = 0, w = 1 }, } },
    },
    [0xa6] = {
        { key = "supported_door_states", size = 1, rows = {{ k = "custom", c = "supported_door_states.states" }, } },
    },
    [0xa8] = {
        { key = "door_state", size = 1, rows = {{ k = "num", f = "door_state.state", o = 0, w = 1 }, } },
    },
    [0xab] = {
        { key = "handle_state", size = 14, rows = {{ k = "num", f = "handle_state.state", o = 13, w = 1 },{ k = "bytes", f = "handle_state.device_id", o = 0, w = 12 },{ k = "num", f = "handle_state.door_side", o = 12, w = 1 }, } },
    },
    [0xad] = {
        { key = "key_cylinder_state", size = 14, rows = {{ k = "num", f = "key_cylinder_state.state", o = 13, w = 1 },{ k = "bytes", f = "key_cylinder_state.device_id", o = 0, w = 12 },{ k = "num", f = "key_cylinder_state.door_side", o = 12, w = 1 }, } },
    },
    [0xaf] = {
        { key = "tamper_state", size = 1, rows = {{ k = "num", f = "tamper_state.state", o = 0, w = 1 }, } },
    },
    [0xb1] = {
        { key = "device_tamper_state", size = 13, rows = {{ k = "num", f = "device_tamper_state.state", o = 12, w = 1 },{ k = "bytes", f = "device_tamper_state.device_id", o = 0, w = 12 }, } },
    },
    [0xb3] = {
        { key = "device_info", size = 26, rows = {{ k = "bytes", f = "device_info.device_id", o = 0, w = 12 },{ k = "bytes", f = "device_info.host_device_id", o = 12, w = 12 },{ k = "num", f = "device_info.door_side", o = 24, w = 1 },{ k = "num", f = "device_info.product_class", o = 25, w = 1 }, } },
    },
    [0xb4] = {
        { key = "get_extended_device_info", size = 16, rows = {{ k = "bytes", f = "get_extended_device_info.device_id", o = 0, w = 12 },{ k = "num", f = "get_extended_device_info.data_id", o = 12, w = 4 }, } },
    },
    [0xb5] = {
        { key = "extended_device_info", size = 18, rows = {{ k = "bytes", f = "extended_device_info.device_id", o = 0, w = 12 },{ k = "num", f = "extended_device_info.online_status", o = 12, w = 1 },{ k = "num", f = "extended_device_info.data_id", o = 13, w = 4 },{ k = "num", f = "extended_device_info.data_length", o = 17, w = 1 },{ k = "custom", c = "extended_device_info.data" }, } },
    },
    [0xb6] = {
        { key = "get_dtcs", size = 13, rows = {{ k = "bytes", f = "get_dtcs.device_id", o = 0, w = 12 },{ k = "num", f = "get_dtcs.request", o = 12, w = 1 }, } },
    },
    [0xb7] = {
        { key = "dtc", size = 17, rows = {{ k = "bytes", f = "dtc.device_id", o = 0, w = 12 },{ k = "num", f = "dtc.dtc_id", o = 12, w = 4 },{ k = "num", f = "dtc.test_failed", o = 16, w = 1 },{ k = "num", f = "dtc.confirmed", o = 16, w = 1 },{ k = "num", f = "dtc.test_completed", o = 16, w = 1 }, } },
    },
    [0xb8] = {
        { key = "clear_dtc", size = 16, rows = {{ k = "bytes", f = "clear_dtc.device_id", o = 0, w = 12 },{ k = "num", f = "clear_dtc.dtc_id", o = 12, w = 4 }, } },
    },
    [0xb9] = {
        { key = "set_permanent_indication", size = 10, when = "nz", at = 9, rows = {{ k = "num", f = "set_permanent_indication.door_side", o = 0, w = 1 },{ k = "flags", key = "set_permanent_indication", o = 1, m = 5 },{ k = "phys", key = "set_permanent_indication", o = 9 }, } },
        { key = "set_permanent_indication", size = 9, rows = {{ k = "num", f = "set_permanent_indication.door_side", o = 0, w = 1 },{ k = "flags", key = "set_permanent_indication", o = 1, m = 5 }, } },
    },
    [0xba] = {
        { key = "firmware_upgrade", size = 12, rows = { } },
    },
    [0xbb] = {
        { key = "firmware_status_notification", size = 15, rows = {{ k = "bytes", f = "firmware_status_notification.device_id", o = 0, w = 12 },{ k = "num", f = "firmware_status_notification.status", o = 12, w = 1 },{ k = "num", f = "firmware_status_notification.status_details", o = 13, w = 1 },{ k = "custom", c = "firmware_status_notification.device_string" }, } },
    },
    [0xbd] = {
        { key = "block_data_transport", size = 2, rows = {{ k = "num", f = "block_data_transport.op_code", o = 0, w = 1 },{ k = "num", f = "block_data_transport.payload_length", o = 1, w = 1 }, } },
    },
    [0xbe] = {
        { key = "set_time", size = 7, rows = {{ k = "bytes", f = "set_time.time", o = 0, w = 6 },{ k = "custom", c = "set_time.time_zone" }, } },
    },
    [0xbf] = {
        { key = "get_all_states", size = 12, rows = {{ k = "bytes", f = "get_all_states.device_id", o = 0, w = 12 }, } },
    },
    [0xc0] = {
        { key = "get_alarms", size = 13, rows = {{ k = "bytes", f = "get_alarms.device_id", o = 0, w = 12 },{ k = "num", f = "get_alarms.request", o = 12, w = 1 }, } },
    },
    [0xc1] = {
        { key = "alarm", size = 17, rows = {{ k = "bytes", f = "alarm.device_id", o = 0, w = 12 },{ k = "num", f = "alarm.alarm_id", o = 13, w = 1 },{ k = "num", f = "alarm.alarm_details", o = 14, w = 1 },{ k = "num", f = "alarm.alarm_level", o = 15, w = 1 },{ k = "num", f = "alarm.active", o = 16, w = 1 },{ k = "num", f = "alarm.occurred", o = 16, w = 1 }, } },
    },
    [0xc2] = {
        { key = "confirm_alarm", size = 13, rows = {{ k = "bytes", f = "confirm_alarm.device_id", o = 0, w = 12 },{ k = "num", f = "confirm_alarm.alarm_id", o = 12, w = 1 }, } },
    },
    [0xc5] = {
        { key = "door_mode", size = 1, rows = {{ k = "num", f = "door_mode.mode", o = 0, w = 1 }, } },
    },
}

-- Ids whose telegram is the id alone.
local header_only = { [0x49] = true, [0x56] = true, [0xa0] = true, [0xa2] = true, [0xa5] = true, [0xa7] = true, [0xaa] = true, [0xac] = true, [0xae] = true, [0xb0] = true, [0xb2] = true, }

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
    local n = body(17, 1):uint()
    if body:len() < 18 + n then return nil end
    if n > 0 then tree:add(bf["extended_device_info.data"], body(18, n)) end
    return 18 + n
end

local function door_mode_time(key)
    return function(body, tree)
        tree:add(bf[key .. ".time"], body(1, 4))
        return 1 + 4
    end
end
parts["set_door_mode.time"] = door_mode_time("set_door_mode")

parts["keypad.keys"] = function(body, tree)
    local n = body(13, 1):uint()
    if body:len() < 14 + n then return nil end
    local t = tree:add(bf["keypad.keys"], body(14, n))
    for i = 0, n - 1 do t:add(bf["keypad.keys.key"], body(14 + i, 1)) end
    return 14 + n
end

parts["firmware_status_notification.device_string"] = function(body, tree)
    if body(14, 1):uint() == 0 or body:len() <= 15 then return 14 + 1 end
    tree:add(bf["firmware_status_notification.device_string"], body(15))
    return body:len()
end

parts["set_time.time_zone"] = function(body, tree)
    local fn = body(6, 1):uint()
    tree:add(bf["set_time.time_function"], body(6, 1))
    if fn ~= 1 then return 6 + 1 end
    if body:len() <= 6 + 1 then return nil end
    tree:add(bf["set_time.time_zone_offset"], body(6 + 1, 1))
    return 6 + 2
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
    tree:add(bf["version.build"], body(7, 2))
    local len = body:len()
    if len > 9 and len <= 9 + 20 then
        tree:add(bf["version.text"], body(9))
        return len
    end
    return 9
end

local param_width = { [1] = 2, [2] = 2, [3] = 2, [4] = 2, [32] = 1, [67] = 4, [68] = 4, [71] = 4, [72] = 4, [128] = 4, [129] = 4, [130] = 4, [131] = 4, [132] = 4, [133] = 4, [134] = 4, [135] = 4, [136] = 4, [137] = 4, [138] = 4, [139] = 4, [140] = 4, [141] = 4, [142] = 4, [143] = 4, [144] = 4, [145] = 4, [146] = 4, [147] = 4, [148] = 4, [149] = 4, [150] = 4, [151] = 4, [152] = 4, [153] = 4, [154] = 4, [155] = 4, [156] = 4, [157] = 4, [158] = 4, [159] = 4,  }
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
    if body:len() > 13 then
        tree:add(bf["firmware_upgrade.file_reference"], body(13))
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
