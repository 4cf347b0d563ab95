"""Writes http-cases.txt from urltestdata.json: the cases whose base is an
http or https address, one a line: base, input and the expected address
(or "failure"), separated by tabs, every byte outside '!'..'~' and the
backslash written as \\xHH. Run from this folder."""
import json


def escaped(text):
    out = []
    for byte in text.encode('utf-8', 'surrogatepass'):
        if 0x21 <= byte <= 0x7e and byte != 0x5c:
            out.append(chr(byte))
        else:
            out.append('\\x%02X' % byte)
    return ''.join(out)


def main():
    with open('urltestdata.json', encoding='utf-8') as f:
        data = json.load(f)
    lines = []
    for case in data:
        if not isinstance(case, dict):
            continue
        base = case.get('base') or ''
        if not base.startswith(('http://', 'https://')):
            continue
        expected = 'failure' if case.get('failure') else escaped(case['href'])
        lines.append('\t'.join([escaped(base), escaped(case['input']), expected]))
    with open('http-cases.txt', 'w', encoding='ascii') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
