// The settings as the settings file spells them, the file's text, and typing them into the
// main window: shared by the window's tests.
#pragma once

#include <ostream>
#include <string>

#include "res/resource.h"
#include "tests/gui/AppDriver.h"

namespace velmora::gui {

// The thirteen settings as the settings file spells them.
struct StoredSettings {
  std::string input, output, templatePath, lead, tail, defaultText, format;
  std::string ruleLead, ruleTail, rule, number, separator, lineBreak;
};

inline std::string SettingsFileText(const StoredSettings& s) {
  return "[Settings]\r\nInput=" + s.input + "\r\nOutput=" + s.output + "\r\nTemplate=" +
         s.templatePath + "\r\n[Replace]\r\nLead=" + s.lead + "\r\nTail=" + s.tail +
         "\r\nDefault=" + s.defaultText + "\r\nFormat=" + s.format + "\r\n[Rule]\r\nLead=" +
         s.ruleLead + "\r\nTail=" + s.ruleTail + "\r\nRule=" + s.rule + "\r\nNumber=" + s.number +
         "\r\n[Field]\r\nSeparator=" + s.separator + "\r\nBreak=" + s.lineBreak + "\r\n";
}

inline const StoredSettings kDefaults{"", "", "", "[$_", "_$]", "", "0", "", ".html", "0", "0", "0", "0"};

// Settings from an earlier session, each different from what the test types, so that the file
// written at the close tells which controls the take-up reached.
inline const StoredSettings kEarlier{"old-in.csv", "old-out", "old.html", "<<", ">>", "none", "1",
                              "p-", ".txt", "1", "2", "1", "1"};

// What the test types: every control changed.
inline const StoredSettings kTyped{"new-in.csv", "new-out", "new.html", "L2", "T2", "dflt", "0",
                            "RL2", "RT2", "0", "9", "0", "0"};

inline void TypeSettings(const AppDriver& app, const StoredSettings& s) {
  app.SelectList(IDC_FIELD_BREAK, std::stoi(s.lineBreak));
  app.SelectList(IDC_FIELD_SEPARATOR, std::stoi(s.separator));
  app.SelectList(IDC_REPLACE_FORMAT, std::stoi(s.format));
  app.SetText(IDC_REPLACE_LEAD, s.lead);
  app.SetText(IDC_REPLACE_TAIL, s.tail);
  app.SetText(IDC_RULE_LEAD, s.ruleLead);
  app.SetText(IDC_RULE_TAIL, s.ruleTail);
  app.SetText(IDC_RULE_NUMBER, s.number);
  app.Click(s.rule == "0" ? IDC_RULE_RECORD : IDC_RULE_FIELD);
  app.SetText(IDC_OUTPUT, s.output);
  app.SetText(IDC_INPUT, s.input);
  app.SetText(IDC_TEMPLATE, s.templatePath);
  app.SetText(IDC_REPLACE_DEFAULT, s.defaultText);
}

// What the controls show, spelled as the settings file would store it.
inline StoredSettings Shown(const AppDriver& app) {
  StoredSettings s;
  s.input = app.Text(IDC_INPUT);
  s.output = app.Text(IDC_OUTPUT);
  s.templatePath = app.Text(IDC_TEMPLATE);
  s.lead = app.Text(IDC_REPLACE_LEAD);
  s.tail = app.Text(IDC_REPLACE_TAIL);
  s.defaultText = app.Text(IDC_REPLACE_DEFAULT);
  s.format = std::to_string(app.ListSelection(IDC_REPLACE_FORMAT));
  s.ruleLead = app.Text(IDC_RULE_LEAD);
  s.ruleTail = app.Text(IDC_RULE_TAIL);
  s.rule = app.IsChecked(IDC_RULE_RECORD) ? "0" : app.IsChecked(IDC_RULE_FIELD) ? "1" : "-1";
  s.number = app.Text(IDC_RULE_NUMBER);
  s.separator = std::to_string(app.ListSelection(IDC_FIELD_SEPARATOR));
  s.lineBreak = std::to_string(app.ListSelection(IDC_FIELD_BREAK));
  return s;
}

inline bool operator==(const StoredSettings& a, const StoredSettings& b) {
  return SettingsFileText(a) == SettingsFileText(b);
}

// Printed by the test framework when two records differ.
inline void PrintTo(const StoredSettings& s, std::ostream* out) { *out << SettingsFileText(s); }

}  // namespace velmora::gui
