#!/usr/bin/python3
"""Licence notices for the toolchain parts that -static links into our binaries.

  assemble  writes THIRD-PARTY-NOTICES.txt from the toolchain's copyright
            files, one section for each licence the build names.
"""
import argparse
import os
import re
import sys

# GCC's copyright file is prose: this is our short name for the terms it
# gives its runtime libraries, in the style of the DEP-5 names.
GCC_LICENSE = 'GPL-3+ with GCC-exception-3.1'
GCC_RUNTIME_INTRO = 'The following runtime libraries are licensed'
GCC_EXCEPTION_HEADING = 'GCC RUNTIME LIBRARY EXCEPTION'
RULE = '-' * 72


class NoticeError(Exception):
    pass


def read_text(path):
    try:
        with open(path, encoding='utf-8') as f:
            return f.read()
    except OSError as e:
        raise NoticeError(f'cannot read {path}: {e.strerror}') from None


class Dep5:
    """A machine-readable Debian copyright file: which licence each source file has."""

    def __init__(self, path):
        self.path = path
        self.stanzas = []       # (patterns, copyright lines, licence expression, licence text)
        self.standalone = {}    # licence name -> text, for stanzas that cite it without one
        self.upstream = path
        for fields in self._paragraphs(read_text(path)):
            expression, text = self._license(fields.get('License', ['']))
            if 'Files' in fields:
                patterns = ' '.join(fields['Files']).split()
                holders = [line.strip() for line in fields.get('Copyright', []) if line.strip()]
                self.stanzas.append((patterns, holders, expression, text))
            elif 'Upstream-Name' in fields:
                self.upstream = fields['Upstream-Name'][0].strip()
            elif expression:
                self.standalone[expression] = text
        if not self.stanzas:
            raise NoticeError(f'{path} has no "Files:" stanza: not a DEP-5 copyright file')

    @staticmethod
    def _paragraphs(text):
        fields, name = {}, None
        for line in text.splitlines() + ['']:
            if not line.strip():
                if fields:
                    yield fields
                fields, name = {}, None
            elif line[0] in ' \t' and name:
                fields[name].append(line)
            else:
                name, _, value = line.partition(':')
                fields[name] = [value]

    @staticmethod
    def _license(lines):
        body = [line[1:].rstrip() for line in lines[1:]]
        return lines[0].strip(), ['' if line.strip() == '.' else line for line in body]

    @staticmethod
    def _matches(pattern, name):
        # DEP-5 patterns know only * (anything, slashes too) and ?.
        regex = re.escape(pattern).replace(r'\*', '.*').replace(r'\?', '.')
        return re.fullmatch(regex, name) is not None

    def license_of(self, source):
        found = None
        for patterns, _, expression, _ in self.stanzas:  # the last match wins
            if any(self._matches(p, source) for p in patterns):
                found = expression
        return found

    def general_license(self):
        for patterns, _, expression, _ in self.stanzas:
            if patterns == ['*']:
                return expression
        raise NoticeError(f'{self.path} has no general "Files: *" stanza')

    def holders_of(self, name):
        holders = []
        for _, lines, expression, _ in self.stanzas:
            if name in license_names(expression):
                holders += [h for h in lines if h not in holders and h != 'public-domain']
        return holders

    def text_of(self, name):
        for _, _, expression, text in self.stanzas:
            if expression == name and text:
                return text
        if self.standalone.get(name):
            return self.standalone[name]
        raise NoticeError(f'{self.path} has no text for the licence "{name}"')


class GccCopyright:
    """GCC's copyright file: which runtime libraries come with the Runtime Library Exception, and its text."""

    def __init__(self, path):
        self.path = path
        self.paragraphs = [p.strip('\n') for p in re.split(r'\n[ \t]*\n', read_text(path))]
        self.copyright = self._paragraph('GCC is Copyright')
        # The statement's list of libraries is the paragraph after it.
        self.runtime_statement = self._paragraph(GCC_RUNTIME_INTRO, count=2)
        self.runtime_libraries = re.findall(r'^ - (\S+)', '\n'.join(self.runtime_statement), re.M)
        if not self.runtime_libraries:
            raise NoticeError(f'{path} lists no runtime library after "{GCC_RUNTIME_INTRO}"')
        self.exception = self._exception()

    def _paragraph(self, start, count=1):
        for i, paragraph in enumerate(self.paragraphs):
            if paragraph.startswith(start):
                return '\n\n'.join(self.paragraphs[i:i + count]).rstrip().splitlines()
        raise NoticeError(f'{self.path} has no paragraph starting "{start}"')

    def _exception(self):
        # The exception runs from its heading to the first two blank lines in a row.
        text = read_text(self.path)
        start = text.find(f'\n{GCC_EXCEPTION_HEADING}\n')
        end = text.find('\n\n\n', start + 1)
        if start < 0 or end < 0:
            raise NoticeError(f'{self.path} has no "{GCC_EXCEPTION_HEADING}" text')
        return text[start + 1:end].splitlines()


def license_names(expression):
    return re.split(r'\s+(?:and|or)\s+', expression)


def package_of(path):
    return os.path.basename(os.path.dirname(path))


# ---- assemble ----------------------------------------------------------------

INTRO = """\
Third-party notices
===================

vorlane.dll and vorlane-host.exe are linked statically: besides Vorlane's own
code (under the MIT licence, see LICENSE), each contains parts of the
MinGW-w64 runtime (its start-up code, libmingw32, libmingwex, libmsvcrt and
the import stubs for Windows' own DLLs) and of GCC's runtime libraries
(libstdc++ and libgcc). Those parts stay under their own licences, one
section for each below. A section's "License:" line gives the licence's short
name as the Debian copyright files of the toolchain name it.
"""


def section(name, source, holders, text):
    lines = [RULE, f'License: {name}', f'From: {source}']
    lines += [f'Copyright: {h}' for h in holders]
    return lines + [''] + [f'  {line}'.rstrip() for line in text] + ['']


def assemble(args):
    mingw, gcc = Dep5(args.mingw_copyright), GccCopyright(args.gcc_copyright)
    out = INTRO.splitlines() + ['']
    for name in args.licenses:
        if name == GCC_LICENSE:
            text = gcc.copyright + [''] + gcc.runtime_statement + [''] + gcc.exception
            out += section(name, f'GCC (Debian package {package_of(gcc.path)})', [], text)
        else:
            source = f'{mingw.upstream} (Debian package {package_of(mingw.path)})'
            out += section(name, source, mingw.holders_of(name), mingw.text_of(name))
    # CRLF like the archive's other text files; nothing of the build folder in it.
    with open(args.output, 'w', encoding='utf-8', newline='\r\n') as f:
        f.write('\n'.join(out))
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--mingw-copyright', required=True, help="MinGW-w64's DEP-5 copyright file")
    parser.add_argument('--gcc-copyright', required=True, help="GCC's copyright file")
    commands = parser.add_subparsers(dest='command', required=True)
    make = commands.add_parser('assemble', help='write the notices file')
    make.add_argument('--output', required=True)
    make.add_argument('licenses', nargs='+', help='the licences to give, by short name')
    args = parser.parse_args()
    try:
        return assemble(args)
    except NoticeError as e:
        print(f'{os.path.basename(sys.argv[0])}: {e}', file=sys.stderr)
        return 1


if __name__ == '__main__':
    sys.exit(main())
