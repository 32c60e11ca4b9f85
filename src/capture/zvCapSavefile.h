// The bytes of a classic pcap savefile, for builds that write and read
// capture files without the capture library: the file header and the record
// header before every packet. Written as the capture library writes them on a
// little-endian machine (microsecond time stamps, version 2.4, snap length
// 65535, link type ZV_CAP_LINK_TYPE), so that the two builds' files are the
// same bytes; read in either byte order, with microsecond or nanosecond time
// stamps. Nothing here trusts a length read from a file.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "base/hal_types.h"

inline constexpr std::size_t ZV_CAP_FILE_HEADER_SIZE = 24;
inline constexpr std::size_t ZV_CAP_RECORD_HEADER_SIZE = 16;
inline constexpr U32 ZV_CAP_SNAP_LENGTH = 65535;
// The longest packet a reader takes, whatever the file's snap length says: a
// corrupt length must not make it allocate gigabytes.
inline constexpr U32 ZV_CAP_MAX_PACKET = 262144;

// What the file header says about the records after it.
struct ZvCapSavefile {
    Boolean swapped = FALSE;      // written on a machine of the other byte order
    Boolean nanoseconds = FALSE;  // the fraction of a record's time stamp counts nanoseconds
    U32 linkType = 0;             // without the bits some writers add above it
};

void zvCapSavefileWriteHeader(std::span<U8, ZV_CAP_FILE_HEADER_SIZE> out);
// The seconds are kept modulo 2^32, as the capture library keeps them.
void zvCapSavefileWriteRecord(U64 wall_us, U32 length, std::span<U8, ZV_CAP_RECORD_HEADER_SIZE> out);

// FALSE with the reason for a file that is no classic pcap of a version this
// program reads (a pcapng file among them).
Boolean zvCapSavefileReadHeader(std::span<const U8, ZV_CAP_FILE_HEADER_SIZE> in, ZvCapSavefile& file,
                                std::string& error);
// A record's time stamp and the number of packet bytes that follow it; FALSE
// with the reason for a packet cut short when it was captured or longer than
// ZV_CAP_MAX_PACKET.
Boolean zvCapSavefileReadRecord(std::span<const U8, ZV_CAP_RECORD_HEADER_SIZE> in, const ZvCapSavefile& file,
                                U64& wall_us, U32& length, std::string& error);
