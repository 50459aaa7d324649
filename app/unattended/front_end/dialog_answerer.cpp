#include "app/unattended/front_end/dialog_answerer.h"

#include <utility>

#include "platform/own_addresses.h"
#include "base/ipv4_text.h"
#include "web/status_page_fields.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/dialog_texts.h"
#include "app/unattended/front_end/pc_address_choice.h"

namespace orb::unattended {

bool isStopAsAnswer(StopReason reason) { return reason == StopReason::Current || reason == StopReason::Checked; }

DialogAnswerer::DialogAnswerer(const UnattendedOptions& options, std::string password, NoteQueue& queue,
                               EventOutput& output)
    : options_(options),
      adapter_(options.addresses.at(0)),
      password_(std::move(password)),
      queue_(queue),
      output_(output) {}

void DialogAnswerer::messageBoxShown(dialogs::MessageBoxId box) {
    queue_.post([this, box] { onMessageBox(box); });
}

void DialogAnswerer::answerWarning(const ShownDialog& dialog) {
    output_.emit(Event(adapter_, "warning").add("title", dialog.title),
                 dialog.title + ": the warning is accepted (--accept-warning)");
    act(dialog.window, [window = dialog.window] { return dialogs::input::pressButton(window, kIdOk); });
}

std::optional<uint32_t> DialogAnswerer::answerAddress(WindowHandle window, const std::vector<uint32_t>& offered,
                                                      const std::string& imageVersion) {
    uint32_t adapterNumber = 0, route = 0;
    std::optional<uint32_t> routeSource;
    if (options_.pcAddress.empty() && parseDottedQuad(adapter_, &adapterNumber) &&
        findRouteSource(adapterNumber, &route))
        routeSource = route;
    PcAddressChoice choice = choosePcAddress(offered, options_.pcAddress, routeSource);
    int index = choice.index;
    if (!options_.pcAddress.empty() && index < 0) {
        std::string list;
        for (size_t i = 0; i < offered.size(); ++i) list += (i > 0 ? ", " : "") + formatIPv4(offered[i]);
        stop(StopReason::UsageError, Event(adapter_, "usage-error"),
             "the PC address " + options_.pcAddress + " is not offered (offered: " + list + ")");
        return std::nullopt;
    }
    std::optional<uint32_t> chosen;
    if (index >= 0) chosen = offered[static_cast<size_t>(index)];
    std::string pcAddress = chosen ? formatIPv4(*chosen) : std::string();
    const std::string how = choice.how;
    const char* why = how == "route"   ? " (the system's route to the adapter)"
                      : how == "first" ? " (the first offered)"
                                       : "";
    output_.emit(Event(adapter_, "address")
                     .add("pc-address", pcAddress)
                     .add("pc-address-from", how)
                     .add("image-version", imageVersion),
                 "adapter address " + adapter_ + ", PC address " + pcAddress + why +
                     "; the firmware to install: Version " + imageVersion);
    act(window, [window, index, adapter = adapter_] {
        if (index >= 0 && !dialogs::input::selectComboEntry(window, kPcAddressComboId, index)) return false;
        return dialogs::input::typeText(window, kAddressFieldId, adapter) && dialogs::input::pressButton(window, kIdOk);
    });
    return chosen;
}

bool DialogAnswerer::answerCredentials(WindowHandle window, bool refused) {
    std::string refusal;
    if (password_.empty()) refusal = "the adapter wants a password and none was given";
    if (refused) refusal = "the password was refused";
    if (!refusal.empty()) {
        output_.emit(Event(adapter_, "credentials").add("accepted", "no"),
                     "credentials: " + refusal + "; authentication refused, not retried");
        act(window, [window] { return dialogs::input::pressEscape(window); });
        return true;
    }
    std::string user = options_.user.empty() ? kDefaultUserName : options_.user;
    output_.emit(Event(adapter_, "credentials").add("user", user), "credentials: user " + user + ", password given");
    act(window, [window, user = options_.user, password = password_] {
        if (!user.empty() && !dialogs::input::typeText(window, kUserFieldId, user)) return false;
        return dialogs::input::typeText(window, kPasswordFieldId, password) &&
               dialogs::input::pressButton(window, kIdOk);
    });
    return false;
}

void DialogAnswerer::answerSuccess(const ShownDialog& dialog, const std::string& version) {
    output_.emit(Event(adapter_, "success").add("title", dialog.title).add("version", version),
                 dialog.title + " version " + version + " (the embedded image's)");
    act(dialog.window, [window = dialog.window] { return dialogs::input::pressButton(window, kIdOk); });
}

ConfirmationAnswer DialogAnswerer::answerConfirmation(WindowHandle window, const DeviceInfo& status,
                                                      const std::string& imageVersion) {
    Event event(adapter_, "status");
    std::string text = "status page:";
    bool first = true;
    for (StatusField field : kConfirmationOrder) {
        const StatusPageField& row = statusPageField(field);
        const char* value = statusFieldValue(status, row);
        event.add(row.eventName, value);
        text += std::string(first ? " " : ", ") + std::string(statusFieldCaption(row)) + " " + value;
        first = false;
    }
    ConfirmationAnswer answer{imageVersion == status.softwareVersion, options_.force};
    event.add("image-version", imageVersion);
    event.fields.push_back({"current", answer.runsImageVersion ? "true" : "false", true});
    // Nothing to do, or nothing asked: Cancel, before anything is triggered.
    if (options_.check || (answer.runsImageVersion && !options_.force)) {
        std::string why = answer.runsImageVersion && !options_.force
                              ? "; it runs the embedded version already"
                              : "; the embedded version " + imageVersion + " would be installed";
        if (!options_.check) why += ": nothing to do (--force upgrades it all the same)";
        output_.emit(event, text + why);
        stop(options_.check ? StopReason::Checked : StopReason::Current, std::nullopt, "");
        return answer;
    }
    output_.emit(event, text + "; pressing Upgrade");
    act(window, [window] { return dialogs::input::pressButton(window, kIdOk); });
    return answer;
}

}  // namespace orb::unattended
