// The status pages that scripted adapters serve, made in one place. A page
// that is odd on purpose (malformed, a fuzz finding) keeps its literal text
// in its test.
#pragma once

#include <string>
#include <vector>

namespace orb::test {

// One row of the status table: "<tr><td>LABEL:</td><td>VALUE</td></tr>"; the
// value may carry its own markup ("<b>1.0.2</b>").
struct StatusRow {
    std::string label;  // without the colon
    std::string value;
};

// The rows of every field of web/status_page_fields.h, in the page's order;
// the values in the order of StatusField.
std::vector<StatusRow> statusFields(const std::string& product, const std::string& mac, const std::string& software,
                                    const std::string& hardware, const std::string& serial);

std::string statusRows(const std::vector<StatusRow>& fields);
// "<table>" rows "</table>".
std::string statusTable(const std::vector<StatusRow>& fields);
// The table in "<html><body>...</body></html>", as the adapter serves it.
std::string statusPage(const std::vector<StatusRow>& fields);

}  // namespace orb::test
