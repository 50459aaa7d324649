// The one table of the status page's fields (web/status_page_fields.h): the
// adapter's labels, pinned here as the adapter writes them; orb-sim's page,
// built from the table, scraped back to every field.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "web/response_parsing.h"
#include "web/status_page_fields.h"
#include "upgrade/dialog_ids.h"
#include "sim/device_pages.h"
#include "tests/support/status_pages.h"

namespace orb {
namespace {

TEST(StatusPageFields, TheAdaptersLabelsAndTheStatusEventsNames) {
    std::vector<std::string> labels;
    std::vector<std::string> shown;
    std::set<int> controls;
    for (const StatusPageField& row : kStatusPageFields) labels.emplace_back(row.label);
    for (StatusField field : kConfirmationOrder) {
        const StatusPageField& row = statusPageField(field);
        EXPECT_EQ(row.field, field);
        shown.push_back(row.eventName + std::string("=") + std::string(statusFieldCaption(row)));
        controls.insert(confirmationFieldId(field));
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"Product Name:", "MAC Address:", "Software Version:",
                                                "Hardware Version:", "Serial Number:"}));
    EXPECT_EQ(shown, (std::vector<std::string>{"serial=Serial Number", "mac=MAC Address", "software=Software Version",
                                               "hardware=Hardware Version", "product=Product Name"}));
    EXPECT_EQ(controls,
              (std::set<int>{kSerialFieldId, kMacFieldId, kSoftwareFieldId, kHardwareFieldId, kProductFieldId}));
}

// A value of its own for each field.
sim::DeviceIdentity distinctIdentity() {
    sim::DeviceIdentity identity;
    identity.productName = "P-4100";
    identity.macAddress = "00:11:22:33:44:55";
    identity.softwareVersion = "2.0.10(a)";
    identity.hardwareVersion = "HW 2";
    identity.serialNumber = "SN 123";
    return identity;
}

TEST(StatusPageFields, OrbSimsPageIsScrapedBackToEveryField) {
    const sim::DeviceIdentity identity = distinctIdentity();
    DeviceInfo info{};
    scrapeDeviceInfo(sim::buildStatusPage(identity).c_str(), &info);
    for (const StatusPageField& row : kStatusPageFields)
        EXPECT_EQ(statusFieldValue(info, row), identity.value(row.field)) << row.label;

    // orb-sim's defaults are the table's.
    for (const StatusPageField& row : kStatusPageFields)
        EXPECT_EQ(sim::DeviceIdentity().value(row.field), row.simDefault) << row.label;
}

TEST(StatusPageFields, AMissingLabelLeavesItsFieldEmpty) {
    sim::DeviceIdentity identity = distinctIdentity();
    identity.showsSoftwareVersion = false;
    DeviceInfo info{};
    scrapeDeviceInfo(sim::buildStatusPage(identity).c_str(), &info);
    for (const StatusPageField& row : kStatusPageFields) {
        bool missing = row.field == StatusField::SoftwareVersion;
        EXPECT_EQ(statusFieldValue(info, row), missing ? "" : identity.value(row.field)) << row.label;
    }
}

TEST(StatusPageFields, TheTestsPagesCarryEveryField) {
    DeviceInfo info{};
    const std::string page = test::statusPage(test::statusFields("p", "m", "<b>s</b>", "h", "n"));
    scrapeDeviceInfo(page.c_str(), &info);
    for (StatusField field : kConfirmationOrder) EXPECT_STRNE(statusFieldValue(info, statusPageField(field)), "");
    EXPECT_STREQ(info.productName, "p");
    EXPECT_STREQ(info.softwareVersion, "s");
    EXPECT_STREQ(info.serialNumber, "n");
}

}  // namespace
}  // namespace orb
