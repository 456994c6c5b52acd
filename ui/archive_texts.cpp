#include "ui/archive_texts.h"

namespace vark {

namespace {

std::string OneLine(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
    }
    const auto first = out.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

std::string ArchiveWords(const ArchiveState& state) {
    switch (state.kind) {
        case ArchiveState::Kind::Off:
            return "Archive: off";
        case ArchiveState::Kind::Counting:
            return "Archive: ...";
        case ArchiveState::Kind::Ready:
            return "Archive: " + GroupedCount(state.runs) + (state.runs == 1 ? " run" : " runs");
        case ArchiveState::Kind::Unreadable:
            return "Archive: unreadable";
    }
    return {};
}

std::string ArchiveStory(const ArchiveState& state) {
    switch (state.kind) {
        case ArchiveState::Kind::Off:
            return "Uploads are not archived: the archive is turned off (--no-archive or "
                   "archive_enabled=false in the settings).";
        case ArchiveState::Kind::Counting:
            return state.file;
        case ArchiveState::Kind::Ready:
            return state.file + (state.runs == 0 ? "\nMade by the first upload." : "") +
                   "\nCtrl+H: History";
        case ArchiveState::Kind::Unreadable:
            return state.file + "\n" + state.reason;
    }
    return {};
}

}  // namespace

RunDetails CleanRunDetails(const RunDetails& typed, const std::string& defaultOperator) {
    RunDetails d{OneLine(typed.lot), OneLine(typed.part), OneLine(typed.operatorName)};
    if (d.operatorName.empty()) {
        d.operatorName = defaultOperator;
    }
    return d;
}

RunDetails OpeningRunDetails(const RunDetails& remembered, const std::string& defaultOperator) {
    return CleanRunDetails(remembered, defaultOperator);
}

std::string GroupedCount(std::int64_t n) {
    const std::string text = std::to_string(n);
    const std::size_t sign = n < 0 ? 1 : 0;
    const std::size_t digits = text.size() - sign;
    std::string out = text.substr(0, sign + (digits % 3 == 0 ? 3 : digits % 3));
    for (std::size_t i = out.size(); i < text.size(); i += 3) {
        out += ',' + text.substr(i, 3);
    }
    return out;
}

std::string ArchiveStatusText(const ArchiveState& state) {
    const ServerState& server = state.server;
    const bool serving = state.kind != ArchiveState::Kind::Off && !server.name.empty();
    std::string text;
    if (serving && server.known && (server.waiting > 0 || server.conflicts > 0)) {
        text = server.waitingText;
    } else {
        text = ArchiveWords(state);
        if (serving && server.known && !server.sending && server.lastError.empty() &&
            state.kind == ArchiveState::Kind::Ready) {
            text += " (server up to date)";
        }
    }
    if (!state.notArchived.empty()) {
        text += " (last upload NOT archived)";
    }
    return text;
}

std::string ArchiveStatusTip(const ArchiveState& state) {
    std::string tip = ArchiveStory(state);
    const ServerState& server = state.server;
    if (state.kind != ArchiveState::Kind::Off && !server.name.empty()) {
        tip += "\nServer: " + server.name;
        if (!server.known) {
            tip += "\nNot tried yet.";
        } else if (server.waiting > 0 || server.conflicts > 0) {
            tip += "\n" + server.waitingText + ".";
        } else if (server.lastError.empty()) {
            tip += "\nEverything archived here is on the server.";
        }
        if (server.known && !server.lastError.empty()) {
            tip += "\nLast try failed: " + OneLine(server.lastError);
        }
        if (server.known && (server.waiting > 0 || !server.lastError.empty())) {
            tip += "\nUploads go on; what waits is sent when the server answers.";
        }
    }
    if (!state.notArchived.empty()) {
        tip += "\nThe last upload was not archived: " + state.notArchived;
    }
    return tip;
}

std::string NotArchivedText(const std::string& reason) {
    return "\n    The records were received but NOT archived:    \n    " + OneLine(reason) +
           "    \n    They are in the list: Save keeps them in a record file.    \n";
}

}  // namespace vark
