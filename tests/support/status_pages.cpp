#include "tests/support/status_pages.h"

#include <array>

#include "web/status_page_fields.h"

namespace orb::test {

std::vector<StatusRow> statusFields(const std::string& product, const std::string& mac, const std::string& software,
                                    const std::string& hardware, const std::string& serial) {
    const std::array<const std::string*, kStatusPageFields.size()> values = {&product, &mac, &software, &hardware,
                                                                             &serial};
    std::vector<StatusRow> rows;
    for (const StatusPageField& row : kStatusPageFields)
        rows.push_back({std::string(statusFieldCaption(row)), *values[static_cast<size_t>(row.field)]});
    return rows;
}

std::string statusRows(const std::vector<StatusRow>& fields) {
    std::string rows;
    for (const StatusRow& field : fields) rows += "<tr><td>" + field.label + ":</td><td>" + field.value + "</td></tr>";
    return rows;
}

std::string statusTable(const std::vector<StatusRow>& fields) { return "<table>" + statusRows(fields) + "</table>"; }

std::string statusPage(const std::vector<StatusRow>& fields) {
    return "<html><body>" + statusTable(fields) + "</body></html>";
}

}  // namespace orb::test
