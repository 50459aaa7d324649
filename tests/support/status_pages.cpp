#include "tests/support/status_pages.h"

namespace orb::test {

std::vector<StatusField> statusFields(const std::string& product, const std::string& mac, const std::string& software,
                                      const std::string& hardware, const std::string& serial) {
    return {{"Product Name", product},
            {"MAC Address", mac},
            {"Software Version", software},
            {"Hardware Version", hardware},
            {"Serial Number", serial}};
}

std::string statusRows(const std::vector<StatusField>& fields) {
    std::string rows;
    for (const StatusField& field : fields)
        rows += "<tr><td>" + field.label + ":</td><td>" + field.value + "</td></tr>";
    return rows;
}

std::string statusTable(const std::vector<StatusField>& fields) { return "<table>" + statusRows(fields) + "</table>"; }

std::string statusPage(const std::vector<StatusField>& fields) {
    return "<html><body>" + statusTable(fields) + "</body></html>";
}

}  // namespace orb::test
