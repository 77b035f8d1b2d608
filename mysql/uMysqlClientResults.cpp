// Result sets: column definitions, row packets, stored and used results, and TMysqlResult's
// navigation and field access.
#include <algorithm>
#include <cstring>
#include <new>

#include "common/Text.h"
#include "mysql/uMysqlClient.h"
#include "mysql/uMysqlErrors.h"
#include "mysql/uMysqlPacketReader.h"
#include "platform/Registry.h"
#include "platform/System.h"

// ---- TMysql_Row -----------------------------------------------------------------------------

TMysql_Row::TMysql_Row(const std::vector<Source>& values) {
    fcount = static_cast<std::uint32_t>(values.size());
    std::size_t total = values_offset();
    for (const Source& v : values)
        if (v.data && v.length > 0) total += std::size_t(v.length) + 1;
    fblock = std::make_unique_for_overwrite<std::uint8_t[]>(total == 0 ? 1 : total);
    std::uint8_t* nulls = fblock.get() + sizeof(std::uint32_t) * values.size();
    std::uint8_t* bytes = fblock.get() + values_offset();
    std::uint32_t end = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const Source& v = values[i];
        if (v.data && v.length > 0) {
            std::memcpy(bytes + end, v.data, v.length);
            bytes[end + v.length] = 0;
            end += v.length + 1;
        }
        std::memcpy(fblock.get() + sizeof(std::uint32_t) * i, &end, sizeof end);
        nulls[i] = v.data ? 0 : 1;
    }
}

std::size_t TMysql_Row::values_offset() const {
    return (sizeof(std::uint32_t) + 1) * fcount;
}

const char* TMysql_Row::value(std::size_t index) const {
    if (index >= fcount) return nullptr;
    std::uint32_t start = 0, end = 0;
    if (index > 0) std::memcpy(&start, fblock.get() + sizeof(std::uint32_t) * (index - 1), 4);
    std::memcpy(&end, fblock.get() + sizeof(std::uint32_t) * index, 4);
    if (end == start) return nullptr;
    return reinterpret_cast<const char*>(fblock.get() + values_offset() + start);
}

std::uint32_t TMysql_Row::length(std::size_t index) const {
    if (index >= fcount) return 0;
    std::uint32_t start = 0, end = 0;
    if (index > 0) std::memcpy(&start, fblock.get() + sizeof(std::uint32_t) * (index - 1), 4);
    std::memcpy(&end, fblock.get() + sizeof(std::uint32_t) * index, 4);
    return end == start ? 0 : end - start - 1;
}

bool TMysql_Row::is_null(std::size_t index) const {
    return index < fcount && fblock[sizeof(std::uint32_t) * fcount + index] != 0;
}

// ---- reading result packets -----------------------------------------------------------------

bool TMysqlClient::is_end_packet(std::int32_t length) const {
    // 0xFE opens the end marker (1 byte from old servers, 5 from 4.1 ones); a row that starts
    // with 0xFE (an 8-byte length) is at least 9 bytes long.
    return length < 9 &&
           PacketReader(fnet->read_pos(), static_cast<std::size_t>(length)).startsWith(0xFE);
}

void TMysqlClient::read_end_packet(std::int32_t length) {
    PacketReader reader(fnet->read_pos(), static_cast<std::size_t>(length));
    std::uint64_t status = 0;
    if ((fserver_capabilities & CLIENT_PROTOCOL_41) && reader.skip(3) && reader.readUint(2, status))
        fserver_status = static_cast<std::int32_t>(status);
}

void TMysqlClient::free_field_defs() {
    ffields.clear();
    fhas_fields = false;
    ffield_count = 0;
}

bool TMysqlClient::parse_field_def(const std::uint8_t* packet, std::size_t length,
                                   TMysql_FieldDef& def) {
    PacketReader reader(packet, length);
    using Coded = PacketReader::Coded;
    if (fserver_capabilities & CLIENT_PROTOCOL_41) {
        // catalog, schema, table, org_table, name, org_name, then the fixed block.
        std::string_view parts[6];
        for (auto& part : parts)
            if (reader.readLengthCodedString(part) == Coded::Incomplete) return false;
        def.Table = std::string(parts[2]);
        def.Name = std::string(parts[4]);
        std::uint64_t fixed = 0, value = 0;
        if (reader.readLengthCoded(fixed) != Coded::Value || fixed < 10 || reader.remaining() < 10)
            return false;
        reader.skip(2);  // character set
        reader.readUint(4, value);
        def.Length = static_cast<std::uint32_t>(value);
        reader.readUint(1, value);
        def.FieldType = static_cast<std::uint8_t>(value);
        reader.readUint(2, value);
        def.Flags = static_cast<std::uint32_t>(value);
        reader.readUint(1, value);
        def.Decimals = static_cast<std::uint32_t>(value);
    } else {
        std::string_view values[5];
        bool present[5] = {};
        for (int i = 0; i < 5; ++i) {
            const Coded coded = reader.readLengthCodedString(values[i]);
            if (coded == Coded::Incomplete) return false;
            present[i] = coded == Coded::Value && !values[i].empty();
        }
        // Short values read as if padded with zero bytes.
        const auto byteOf = [&](int value, std::size_t index) -> std::uint32_t {
            return index < values[value].size() ? static_cast<std::uint8_t>(values[value][index])
                                                : 0;
        };
        def.Table = std::string(values[0]);
        def.Name = std::string(values[1]);
        if (present[2]) def.Length = byteOf(2, 0) | (byteOf(2, 1) << 8) | (byteOf(2, 2) << 16);
        if (present[3]) def.FieldType = static_cast<std::uint8_t>(byteOf(3, 0));
        if (present[4]) {
            if (fserver_capabilities & CLIENT_LONG_FLAG) {
                def.Flags = byteOf(4, 0) | (byteOf(4, 1) << 8);
                def.Decimals = byteOf(4, 2);
            } else {
                def.Flags = byteOf(4, 0);
                def.Decimals = byteOf(4, 1);
            }
        }
    }
    const std::uint8_t type = def.FieldType;
    if ((type <= 9 && type != 7) || (type == 7 && (def.Length == 14 || def.Length == 8)) ||
        type == 13)
        def.Flags |= 0x8000;
    def.Max_Length = 0;
    return true;
}

bool TMysqlClient::read_field_defs(std::int32_t count) {
    try {
        std::vector<TMysql_FieldDef> defs;
        for (;;) {
            const std::int32_t length = fnet->net_safe_read();
            if (length == -1) return false;
            if (is_end_packet(length)) break;
            TMysql_FieldDef def;
            if (defs.size() >= static_cast<std::size_t>(count) ||
                !parse_field_def(fnet->read_pos(), static_cast<std::size_t>(length), def)) {
                malformed();
                return false;
            }
            defs.push_back(std::move(def));
        }
        if (defs.size() != static_cast<std::size_t>(count)) {
            malformed();
            return false;
        }
        ffields = std::move(defs);
        fhas_fields = true;
        ffield_count = count;
        return true;
    } catch (const std::bad_alloc&) {
        record_error(CR_OUT_OF_MEMORY);
        return false;
    }
}

bool TMysqlClient::split_row(const std::uint8_t* packet, std::size_t length, std::int32_t count) {
    frow_values.clear();
    PacketReader reader(packet, length);
    for (std::int32_t i = 0; i < count; ++i) {
        std::string_view value;
        switch (reader.readLengthCodedString(value)) {
            case PacketReader::Coded::Incomplete:
                return false;
            case PacketReader::Coded::Null:
                frow_values.push_back({nullptr, 0});
                break;
            case PacketReader::Coded::Value:
                frow_values.push_back({reinterpret_cast<const std::uint8_t*>(value.data()),
                                       static_cast<std::uint32_t>(value.size())});
                break;
        }
    }
    return reader.atEnd();
}

std::unique_ptr<TMYSQL_DATA> TMysqlClient::read_row_list(std::vector<TMysql_FieldDef>* defs,
                                                         std::int32_t count) {
    try {
        auto data = std::make_unique<TMYSQL_DATA>();
        data->fields = count;
        for (;;) {
            const std::int32_t length = fnet->net_safe_read();
            if (length == -1) return nullptr;
            if (is_end_packet(length)) {
                read_end_packet(length);
                break;
            }
            if (!split_row(fnet->read_pos(), static_cast<std::size_t>(length), count)) {
                malformed();
                return nullptr;
            }
            data->data.emplace_back(frow_values);
            ++data->rows;
            if (defs) {
                for (std::size_t i = 0; i < frow_values.size() && i < defs->size(); ++i)
                    (*defs)[i].Max_Length = std::max((*defs)[i].Max_Length, frow_values[i].length);
            }
        }
        return data;
    } catch (const std::bad_alloc&) {
        record_error(CR_OUT_OF_MEMORY);
        return nullptr;
    }
}

std::int32_t TMysqlClient::read_single_row(std::int32_t count, TMysql_Row& row,
                                           std::vector<std::uint32_t>& lengths) {
    const std::int32_t length = fnet->net_safe_read();
    if (length == -1) return -1;
    if (is_end_packet(length)) {
        read_end_packet(length);
        return 1;
    }
    if (!split_row(fnet->read_pos(), static_cast<std::size_t>(length), count)) {
        malformed();
        return -1;
    }
    try {
        row = TMysql_Row(frow_values);
    } catch (const std::bad_alloc&) {
        record_error(CR_OUT_OF_MEMORY);
        return -1;
    }
    lengths.assign(static_cast<std::size_t>(count), 0);
    for (std::size_t i = 0; i < frow_values.size(); ++i) lengths[i] = row.length(i);
    return 0;
}

std::unique_ptr<TMysqlResult> TMysqlClient::store_result_set() {
    if (!fhas_fields) return nullptr;
    if (fstatus != MYSQL_STATUS_GET_RESULT) {
        record_error(CR_COMMANDS_OUT_OF_SYNC);
        return nullptr;
    }
    try {
        auto result = std::make_unique<TMysqlResult>(this, rtStored);
        result->flengths.assign(static_cast<std::size_t>(ffield_count), 0);
        auto data = read_row_list(&ffields, ffield_count);
        if (!data) {
            // The result is lost; the connection must not stay waiting for it.
            free_field_defs();
            fstatus = MYSQL_STATUS_READY;
            return nullptr;
        }
        result->fdata = std::move(data);
        result->fdata_cursor = 0;
        if (result->has_rows()) {
            result->fcurrent_row = &result->fdata->data.front();
            result->fEOF = false;
            result->fRecNo = 0;
        } else {
            result->fcurrent_row = nullptr;
            result->fEOF = true;
            result->fRecNo = -1;
        }
        result->ffields = std::move(ffields);
        result->ffieldscount = result->fdata->fields;
        result->frowscount = result->fdata->rows;
        result->fLastRow = 1;
        // A stored result never needs its connection again.
        result->fhandle = nullptr;
        faffected_rows = result->frowscount;
        free_field_defs();
        fstatus = MYSQL_STATUS_READY;
        return result;
    } catch (const std::bad_alloc&) {
        record_error(CR_OUT_OF_MEMORY);
        return nullptr;
    }
}

std::unique_ptr<TMysqlResult> TMysqlClient::use_result_set() {
    if (!fhas_fields) return nullptr;
    if (fstatus != MYSQL_STATUS_GET_RESULT) {
        record_error(CR_COMMANDS_OUT_OF_SYNC);
        return nullptr;
    }
    try {
        auto result = std::make_unique<TMysqlResult>(this, rtUsed);
        result->flengths.assign(static_cast<std::size_t>(ffield_count), 0);
        result->fcurrent_row = &result->frow;
        result->ffields = std::move(ffields);
        result->frowscount = 0;
        result->ffieldscount = ffield_count;
        fstatus = MYSQL_STATUS_USE_RESULT;
        fusedresult = result.get();
        free_field_defs();
        result->Next();
        result->fBOF = true;
        return result;
    } catch (const std::bad_alloc&) {
        record_error(CR_OUT_OF_MEMORY);
        return nullptr;
    }
}

// ---- TMysqlResult ---------------------------------------------------------------------------

TMysqlResult::TMysqlResult(TMysqlClient* aMysql, TResultType aType)
    : fhandle(aMysql), fType(aType) {}

TMysqlResult::~TMysqlResult() {
    if (fType == rtUsed && fhandle) fhandle->fusedresult = nullptr;
    if (fhandle && fhandle->fstatus == MYSQL_STATUS_USE_RESULT) {
        TMysqlNet& net = *fhandle->fnet;
        for (;;) {
            const std::int32_t length = net.net_safe_read();
            if (length == -1) break;
            if (fhandle->is_end_packet(length)) {
                fhandle->read_end_packet(length);
                break;
            }
        }
        fhandle->fstatus = MYSQL_STATUS_READY;
        fhandle->fusedresult = nullptr;
        net.net_pack();
        fhandle->faffected_rows = frowscount;
    }
}

void TMysqlResult::finish_used() {
    if (!fhandle) return;
    fhandle->fusedresult = nullptr;
    fhandle->fstatus = MYSQL_STATUS_READY;
    fhandle->fnet->net_pack();
    fhandle->faffected_rows = frowscount;
    fhandle = nullptr;
}

void TMysqlResult::Next() {
    if (fType == rtStored) {
        if (has_rows() && fdata_cursor + 1 < fdata->data.size()) {
            ++fdata_cursor;
            fcurrent_row = &fdata->data[fdata_cursor];
            fEOF = false;
            flengthsread = false;
            ++fRecNo;
        } else {
            fEOF = true;
        }
        fBOF = !has_rows();
        return;
    }
    fBOF = frowscount == 0;
    fEOF = false;
    flengthsread = true;
    if (!fhandle) {
        if (fLastRow == 0) fLastRow = -1;
        fEOF = true;
        return;
    }
    fLastRow = fhandle->read_single_row(ffieldscount, frow, flengths);
    if (fLastRow == 0) {
        fRecNo = static_cast<std::int32_t>(frowscount);
        ++frowscount;
    } else {
        fEOF = true;
        finish_used();
    }
}

void TMysqlResult::Prior() {
    if (fType == rtStored) {
        if (has_rows() && fdata_cursor > 0) {
            --fdata_cursor;
            fcurrent_row = &fdata->data[fdata_cursor];
            flengthsread = false;
            --fRecNo;
            fBOF = false;
        } else {
            fBOF = true;
        }
        fEOF = !has_rows();
        return;
    }
    fBOF = true;
    fEOF = frowscount == 0;
}

void TMysqlResult::First() {
    if (fType == rtStored) {
        fBOF = true;
        if (has_rows()) {
            fdata_cursor = 0;
            fcurrent_row = &fdata->data.front();
            flengthsread = false;
        }
        fEOF = !has_rows();
        fRecNo = has_rows() ? 0 : -1;
        return;
    }
    fBOF = true;
    fEOF = frowscount == 0;
}

void TMysqlResult::Last() {
    if (fType == rtStored) {
        if (has_rows() && !fEOF) {
            fdata_cursor = fdata->data.size() - 1;
            fcurrent_row = &fdata->data.back();
            flengthsread = false;
        }
        fEOF = true;
        fBOF = !has_rows();
        fRecNo = static_cast<std::int32_t>(frowscount - 1);
        return;
    }
    fEOF = true;
    fBOF = frowscount == 0;
    if (!fhandle) {
        if (fLastRow == 0) fLastRow = -1;
        return;
    }
    std::int32_t answer = fhandle->read_single_row(ffieldscount, frow, flengths);
    while (answer == 0) {
        ++frowscount;
        answer = fhandle->read_single_row(ffieldscount, frow, flengths);
    }
    fLastRow = answer;
    fRecNo = static_cast<std::int32_t>(frowscount - 1);
    finish_used();
}

void TMysqlResult::setRecNo(std::int32_t value) {
    if (fType != rtStored || value < 0 || value >= frowscount || !has_rows()) return;
    fBOF = false;
    fEOF = false;
    fdata_cursor = std::min<std::size_t>(static_cast<std::size_t>(value), fdata->data.size() - 1);
    fRecNo = value;
    fcurrent_row = &fdata->data[fdata_cursor];
    flengthsread = false;
}

void TMysqlResult::setHasLengths(bool value) {
    if (value && !flengthsread) FetchLengths();
}

void TMysqlResult::FetchLengths() {
    flengthsread = true;
    if (fType == rtUsed) return;
    for (std::size_t i = 0; i < flengths.size(); ++i)
        flengths[i] = fcurrent_row ? fcurrent_row->length(i) : 0;
}

std::uint32_t TMysqlResult::FieldLenght(std::int32_t aIndex) const {
    if (aIndex < 0 || aIndex >= ffieldscount || !flengthsread ||
        static_cast<std::size_t>(aIndex) >= flengths.size())
        return 0;
    return flengths[static_cast<std::size_t>(aIndex)];
}

const char* TMysqlResult::value_pointer(std::int32_t aIndex) const {
    if (aIndex < 0 || aIndex >= ffieldscount) return nullptr;
    if (fType == rtUsed) return frow.value(static_cast<std::size_t>(aIndex));
    return fcurrent_row ? fcurrent_row->value(static_cast<std::size_t>(aIndex)) : nullptr;
}

bool TMysqlResult::FieldIsNull(std::int32_t aIndex) const {
    if (aIndex < 0 || aIndex >= ffieldscount) return false;
    const TMysql_Row* row = fType == rtUsed ? &frow : fcurrent_row;
    return row && row->is_null(static_cast<std::size_t>(aIndex));
}

std::u16string TMysqlResult::FieldValue(std::int32_t aIndex) const {
    const char* value = value_pointer(aIndex);
    if (!value) return {};
    return text::fromUtf8(std::string_view(value));
}

void TMysqlResult::FieldValueBin(std::int32_t aIndex, std::ostream& stream) const {
    const char* value = value_pointer(aIndex);
    if (!value) return;
    stream.write(value, static_cast<std::streamsize>(std::strlen(value)));
}

PMysql_FieldDef TMysqlResult::FieldDef(std::int32_t aIndex) const {
    if (aIndex < 0 || aIndex >= ffieldscount || static_cast<std::size_t>(aIndex) >= ffields.size())
        return nullptr;
    return &ffields[static_cast<std::size_t>(aIndex)];
}

std::int32_t TMysqlResult::FieldIndexByName(const std::u16string& aName, bool CaseSensitive) const {
    if (aName.empty()) return -1;
    const std::string wanted = CaseSensitive ? text::toUtf8(aName) : std::string();
    const std::u16string wantedUpper = CaseSensitive ? std::u16string() : text::upperAscii(aName);
    for (std::size_t i = 0; i < ffields.size() && i < static_cast<std::size_t>(ffieldscount); ++i) {
        if (CaseSensitive) {
            if (ffields[i].Name == wanted) return static_cast<std::int32_t>(i);
        } else {
            const std::u16string name = platform::get<platform::System>().fromAnsi(ffields[i].Name);
            if (text::upperAscii(name) == wantedUpper) return static_cast<std::int32_t>(i);
        }
    }
    return -1;
}

PMysql_FieldDef TMysqlResult::FieldDefByName(const std::u16string& aName,
                                             bool CaseSensitive) const {
    return FieldDef(FieldIndexByName(aName, CaseSensitive));
}

std::u16string TMysqlResult::FieldValueByName(const std::u16string& aName,
                                              bool CaseSensitive) const {
    return FieldValue(FieldIndexByName(aName, CaseSensitive));
}
