#!/usr/bin/env python3
"""Reads the dialogs, the string table and the version block of a Windows resource script and
writes them as the C++ data of dialog_template.h and string_table.h, so that the script is their
one source: the resource compiler puts it into the Windows program, and the code of every build
(the Qt window, the console's strings, the tests) reads this data.

    resource_script_to_cpp.py brindle.rc resource_script.h

It knows the statements the script uses and the styles each control statement implies, as the
resource compiler does; anything else stops it with the line at fault, so that nothing the script
says is dropped on the way."""

import re
import sys

# Control statements: the kind they make and the styles they carry without being asked.
STATEMENTS = {
    "DEFPUSHBUTTON": ("DefaultPushButton", ["kTabStop"]),
    "PUSHBUTTON": ("PushButton", ["kTabStop"]),
    "GROUPBOX": ("GroupBox", []),
    "EDITTEXT": ("Edit", ["kTabStop", "kBorder"]),
    "LTEXT": ("StaticText", []),
    "ICON": ("Icon", []),
}
# CONTROL statements name their window class and kind style.
CONTROL_KINDS = {("Button", "BS_AUTOCHECKBOX"): "AutoCheckBox"}
CONTROL_STYLES = {
    "WS_TABSTOP": "kTabStop",
    "WS_DISABLED": "kDisabled",
    "WS_BORDER": "kBorder",
    "ES_READONLY": "kReadOnly",
    "ES_AUTOHSCROLL": "kAutoHScroll",
    "ES_AUTOVSCROLL": "kAutoVScroll",
    "WS_HSCROLL": "kHScroll",
    "WS_VSCROLL": "kVScroll",
    "ES_RIGHT": "kRightAlign",
    "ES_WANTRETURN": "kWantReturn",
    "SS_NOPREFIX": "kNoPrefix",
}
STYLE_ORDER = list(dict.fromkeys(CONTROL_STYLES.values()))
# WS_POPUP is what every dialog is; the others are the frame's.
DIALOG_STYLES = {"WS_CAPTION": "kCaption", "WS_SYSMENU": "kSystemMenu", "DS_MODALFRAME": "kModalFrame",
                 "WS_POPUP": None}
DIALOG_EXSTYLES = {"WS_EX_APPWINDOW": "kAppWindow"}
VERSION_VALUES = ["CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright",
                  "LegalTrademarks", "OriginalFilename", "ProductName", "ProductVersion"]


class ScriptError(Exception):
    pass


def logical_lines(text):
    """The script's lines without comments and preprocessor lines, a statement that goes on after a
    trailing '|' or ',' joined into one; each with its first line number."""
    joined, start = "", 0
    for number, raw in enumerate(text.splitlines(), 1):
        line = re.sub(r'^((?:[^"/]|"(?:[^"]|"")*"|/(?!/))*)//.*$', r"\1", raw).strip()
        if not line or line.startswith("#"):
            continue
        if not joined:
            start = number
        joined = f"{joined} {line}" if joined else line
        if not joined.endswith(("|", ",")):
            yield start, joined
            joined = ""
    if joined:
        raise ScriptError(f"line {start}: the statement does not end")


def split_arguments(text):
    """Comma-separated arguments, commas inside strings kept."""
    arguments, current, quoted = [], "", False
    for char in text:
        if char == '"':
            quoted = not quoted
        if char == "," and not quoted:
            arguments.append(current.strip())
            current = ""
        else:
            current += char
    arguments.append(current.strip())
    return arguments


def string_value(argument, number):
    match = re.fullmatch(r'"((?:[^"]|"")*)"', argument)
    if not match:
        raise ScriptError(f"line {number}: a string was expected, not {argument}")
    value = match.group(1).replace('""', '"')
    escapes = {"0": "\0", "n": "\n", "t": "\t", "\\": "\\", '"': '"'}
    return re.sub(r'\\(.)', lambda m: escapes.get(m.group(1), m.group(0)), value)


def cpp_string(value):
    out = ""
    for char in value:
        if char in '"\\':
            out += "\\" + char
        elif " " <= char <= "~":
            out += char
        else:
            out += f"\\{ord(char):03o}"
    return f'"{out}"'


def tokens(expression):
    return [token.strip() for token in expression.split("|")]


def flags(names, table, number):
    """The template flags a list of style names stands for; an unknown name stops the generator."""
    result = []
    for name in names:
        if name not in table:
            raise ScriptError(f"line {number}: style {name} is not known here")
        if table[name] is not None:
            result.append(table[name])
    return result


def style_expression(names):
    ordered = [name for name in STYLE_ORDER if name in names]
    return " | ".join(ordered) if ordered else "0"


def parse_control(keyword, rest, number):
    arguments = split_arguments(rest)
    if keyword == "CONTROL":
        if len(arguments) != 8:
            raise ScriptError(f"line {number}: CONTROL needs text, id, class, style, x, y, w, h")
        text, identifier, window_class, style = arguments[:4]
        window_class = string_value(window_class, number)
        names = tokens(style)
        kinds = [CONTROL_KINDS[(window_class, name)] for name in names if (window_class, name) in CONTROL_KINDS]
        if len(kinds) != 1:
            raise ScriptError(f"line {number}: no known kind of control in {window_class}, {style}")
        styles = flags([name for name in names if (window_class, name) not in CONTROL_KINDS], CONTROL_STYLES, number)
        return dict(id=identifier, kind=kinds[0], text=string_value(text, number), place=arguments[4:8],
                    styles=styles, icon="0")
    if keyword not in STATEMENTS:
        raise ScriptError(f"line {number}: control statement {keyword} is not known here")
    kind, styles = STATEMENTS[keyword]
    styles = list(styles)
    if keyword == "EDITTEXT":
        identifier, place, extra = arguments[0], arguments[1:5], arguments[5:]
        text = ""
    elif keyword == "ICON":
        icon, identifier, place, extra = arguments[0], arguments[1], arguments[2:6], arguments[6:]
        text = ""
    else:
        text, identifier, place, extra = string_value(arguments[0], number), arguments[1], arguments[2:6], arguments[6:]
    if len(place) != 4 or len(extra) > 1:
        raise ScriptError(f"line {number}: {keyword} has {len(arguments)} arguments")
    if extra:
        names = tokens(extra[0])
        if keyword == "EDITTEXT" and "ES_MULTILINE" in names:
            kind = "MultiLineEdit"
            names.remove("ES_MULTILINE")
        styles += flags(names, CONTROL_STYLES, number)
    return dict(id=identifier, kind=kind, text=text, place=place, styles=styles,
                icon=icon if keyword == "ICON" else "0")


def parse(text):
    dialogs, strings, version = [], [], {}
    lines = logical_lines(text)
    for number, line in lines:
        if re.fullmatch(r"\w+\s+DIALOG\s+.*", line):
            identifier, _, rest = line.split(None, 2)
            place = split_arguments(rest)
            if len(place) != 4:
                raise ScriptError(f"line {number}: DIALOG needs x, y, width, height")
            dialog = dict(id=identifier, place=place[2:4], styles=[], caption=None, font=None, controls=[])
            for number, line in lines:
                keyword, _, rest = line.partition(" ")
                rest = rest.strip()
                if keyword == "STYLE":
                    dialog["styles"] += flags(tokens(rest), DIALOG_STYLES, number)
                elif keyword == "EXSTYLE":
                    dialog["styles"] += flags(tokens(rest), DIALOG_EXSTYLES, number)
                elif keyword == "CAPTION":
                    dialog["caption"] = string_value(rest, number)
                elif keyword == "FONT":
                    size, name = split_arguments(rest)
                    dialog["font"] = (size, string_value(name, number))
                elif keyword == "BEGIN":
                    continue
                elif keyword == "END":
                    break
                else:
                    dialog["controls"].append(parse_control(keyword, rest, number))
            if dialog["caption"] is None or dialog["font"] is None:
                raise ScriptError(f"dialog {identifier} has no caption or no font")
            dialogs.append(dialog)
        elif line == "STRINGTABLE":
            for number, line in lines:
                if line == "BEGIN":
                    continue
                if line == "END":
                    break
                identifier, value = line.split(None, 1)
                strings.append((identifier, string_value(value, number)))
        elif re.fullmatch(r"\w+ VERSIONINFO", line):
            depth = 0
            for number, line in lines:
                keyword, _, rest = line.partition(" ")
                if keyword in ("FILEVERSION", "PRODUCTVERSION"):
                    version[keyword] = [part.strip() for part in rest.split(",")]
                elif keyword == "BLOCK" and depth == 2:
                    version["translation"] = string_value(rest.strip(), number)
                elif keyword == "VALUE" and depth == 3:
                    name, value = split_arguments(rest)
                    version[string_value(name, number)] = string_value(value, number).rstrip("\0")
                depth += keyword == "BEGIN"
                depth -= keyword == "END"
                if keyword == "END" and depth == 0:
                    break
        elif re.fullmatch(r'\w+\s+(ICON|RT_MANIFEST)\s+".*"', line) or line.startswith("LANGUAGE "):
            continue  # the icon and manifest files are the resource compiler's alone; one language
        else:
            raise ScriptError(f"line {number}: statement not known here: {line}")
    missing = [name for name in VERSION_VALUES + ["FILEVERSION", "PRODUCTVERSION", "translation"]
               if name not in version]
    if missing:
        raise ScriptError(f"the version block lacks {', '.join(missing)}")
    return dialogs, strings, version


def camel(identifier):
    return "".join(part.capitalize() for part in identifier.split("_")[1:])


def write(dialogs, strings, version):
    out = ["// Generated from brindle.rc by resource_script_to_cpp.py at build time: edit the script.",
           "#ifndef BRINDLE_RES_RESOURCE_SCRIPT_H", "#define BRINDLE_RES_RESOURCE_SCRIPT_H", "",
           '#include "dialog_template.h"', '#include "resource.h"', '#include "string_table.h"', "",
           "namespace res::script {", ""]
    for dialog in dialogs:
        out.append(f"inline constexpr ControlTemplate k{camel(dialog['id'])}Controls[] = {{")
        for c in dialog["controls"]:
            x, y, w, h = c["place"]
            out.append(f"    {{{c['id']}, ControlKind::{c['kind']}, {cpp_string(c['text'])}, {x}, {y}, {w}, {h}, "
                       f"{style_expression(c['styles'])}, {c['icon']}}},")
        out += ["};", ""]
    out.append("inline constexpr DialogTemplate kDialogs[] = {")
    for dialog in dialogs:
        size, font = dialog["font"]
        frame = " | ".join(dialog["styles"]) or "0"
        out.append(f"    {{{dialog['id']}, {cpp_string(dialog['caption'])}, {cpp_string(font)}, {size}, "
                   f"{dialog['place'][0]}, {dialog['place'][1]}, {frame}, k{camel(dialog['id'])}Controls}},")
    out += ["};", "", "struct StringResource {", "    int id;", "    const char* text;", "};", "",
            "inline constexpr StringResource kStrings[] = {"]
    out += [f"    {{{identifier}, {cpp_string(value)}}}," for identifier, value in strings]
    out += ["};", "", "inline constexpr VersionInfo kVersion{"]
    out.append(f"    {{{', '.join(version['FILEVERSION'])}}},")
    out.append(f"    {{{', '.join(version['PRODUCTVERSION'])}}},")
    for name in ["FileVersion", "ProductVersion"]:
        out.append(f"    {cpp_string(version[name])},")
    out.append(f"    {cpp_string(version['translation'])},")
    for name in ["CompanyName", "FileDescription", "InternalName", "LegalCopyright", "LegalTrademarks",
                 "OriginalFilename", "ProductName"]:
        out.append(f"    {cpp_string(version[name])},")
    out += ["};", "", "} // namespace res::script", "", "#endif", ""]
    return "\n".join(out)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], encoding="cp1252") as script:
        text = script.read()
    try:
        generated = write(*parse(text))
    except ScriptError as error:
        sys.stderr.write(f"{argv[1]}: {error}\n")
        return 1
    with open(argv[2], "w", encoding="ascii") as header:
        header.write(generated)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
