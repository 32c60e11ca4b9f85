#!/usr/bin/env python3
"""Renders HTML reports of simulated buses in headless Chromium and checks them.

For each capture: the sniffer writes the report and `--stats-csv` from the
same replay; the rendered page must have drawn every chart, logged no
script error, fetched nothing, and show in its summary and device table the
very figures of the CSV. The faulty scenario's page is kept as a screenshot.

usage: checkReport.py SNIFFER SIMULATOR ARTIFACT_DIR
Exit status 77 (skipped) when Chromium is not installed.
"""
import csv
import html.parser
import os
import shutil
import subprocess
import sys
import tempfile

SKIPPED = 77


class Dom(html.parser.HTMLParser):
    """The parts of the rendered page the checks read."""

    def __init__(self):
        super().__init__()
        self.body = {}
        self.errors = None
        self.summary = {}  # csv column -> text
        self.device_columns = []  # csv column or None, per header cell
        self.device_rows = []
        self._where = []
        self._cell = None
        self._row = None
        self._summary_key = None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == 'body':
            self.body = attrs
        if tag == 'div' and attrs.get('id') == 'zv-errors':
            self.errors = ''
            self._where.append('errors')
        if tag == 'table' and attrs.get('id') == 'device-table':
            self._where.append('devices')
        if tag == 'tr' and 'data-csv' in attrs:
            self._summary_key = attrs['data-csv']
        if 'devices' in self._where:
            if tag == 'th':
                self.device_columns.append(attrs.get('data-csv'))
            if tag == 'tr':
                self._row = []
            if tag == 'td':
                self._cell = ''
        elif self._summary_key and tag == 'td':
            self._cell = ''

    def handle_endtag(self, tag):
        if tag == 'div' and self._where and self._where[-1] == 'errors':
            self._where.pop()
        if tag == 'table' and 'devices' in self._where:
            self._where.remove('devices')
        if tag == 'td' and self._cell is not None:
            if self._row is not None:
                self._row.append(self._cell)
            elif self._summary_key:
                self.summary[self._summary_key] = self._cell
            self._cell = None
        if tag == 'tr':
            if self._row:
                self.device_rows.append(self._row)
            self._row = None
            self._summary_key = None

    def handle_data(self, data):
        if self._where and self._where[-1] == 'errors':
            self.errors += data
        if self._cell is not None:
            self._cell += data


def run(args, **kw):
    result = subprocess.run(args, capture_output=True, text=True, timeout=300, **kw)
    return result


def read_csv(path):
    with open(path, newline='') as f:
        text = f.read()
    devices_part, line_part = text.split('\n\n', 1)
    devices = list(csv.reader(devices_part.splitlines()))
    line = list(csv.reader(line_part.splitlines()))
    return devices[0], devices[1:], dict(zip(line[0], line[1]))


def render(chromium, page, work, screenshot=None):
    common = [chromium, '--headless', '--no-sandbox', '--disable-gpu', '--hide-scrollbars',
              '--user-data-dir=' + os.path.join(work, 'chromium-profile'), '--virtual-time-budget=15000']
    url = 'file://' + page
    dom = run(common + ['--dump-dom', url])
    if screenshot:
        run(common + ['--window-size=1280,3600', '--screenshot=' + screenshot, url])
    parsed = Dom()
    parsed.feed(dom.stdout)
    return parsed


def check(name, dom, csv_path, problems):
    def fail(text):
        problems.append(f'{name}: {text}')

    if dom.body.get('data-ready') != 'yes':
        fail(f"not every chart drew: drawn '{dom.body.get('data-drawn')}'")
    if dom.errors:
        fail(f'script errors: {dom.errors.strip()}')
    if dom.body.get('data-resources') != '0':
        fail(f"the page fetched {dom.body.get('data-resources')} resources")
    header, rows, line = read_csv(csv_path)
    for column, value in line.items():
        if dom.summary.get(column) != value:
            fail(f'summary {column}: page {dom.summary.get(column)!r}, stats csv {value!r}')
    by_device = {row[0]: row for row in rows}
    page_devices = set()
    for cells in dom.device_rows:
        page_devices.add(cells[0])
        expected = by_device.get(cells[0])
        if expected is None:
            continue  # seen by the device table only
        for index, column in enumerate(dom.device_columns):
            if column is None or index >= len(cells):
                continue
            want = expected[header.index(column)]
            if cells[index] != want:
                fail(f'device {cells[0]} {column}: page {cells[index]!r}, stats csv {want!r}')
    missing = set(by_device) - page_devices
    if missing:
        fail(f'devices in stats csv but not on the page: {sorted(missing, key=int)}')


def main():
    sniffer, simulator, artifacts = sys.argv[1:4]
    chromium = shutil.which('chromium') or shutil.which('chromium-browser')
    if not chromium:
        print('chromium is not installed')
        return SKIPPED
    os.makedirs(artifacts, exist_ok=True)
    problems = []
    with tempfile.TemporaryDirectory() as work:
        def path(name):
            return os.path.join(work, name)

        def simulate(name, *args):
            run([simulator, '-q', '-o', path(name + '.raw'), '--summary', path(name + '.summary')] + list(args),
                check=True)
            # Replayed once more into a capture file, which is what a site visit brings home.
            run([sniffer, '-r', path(name + '.raw'), '-w', path(name + '.pcap')], check=True)
            return path(name + '.pcap')

        faulty = simulate('faulty', '-c', '6000', '-n', '8', '--faults', '0.03', '-s', '5')
        cases = [
            ('faulty', faulty, 0),
            ('one-device', simulate('one', '-c', '400', '-n', '1', '-s', '2'), 0),
            ('254-devices', simulate('many', '-c', '8000', '-n', '254', '-s', '3'), 0),
        ]
        # A capture that holds no frame: the filter lets none through.
        run([sniffer, '-r', faulty, '--filter', 'addr 250', '-w', path('none.pcap')], check=True)
        cases.append(('no-frames', path('none.pcap'), 0))
        # A capture cut off inside a packet: the replay says so (status 1)
        # and still reports what it read.
        with open(faulty, 'rb') as f:
            data = f.read()
        with open(path('cut.pcap'), 'wb') as f:
            f.write(data[:len(data) // 2 + 5])
        cases.append(('truncated', path('cut.pcap'), 1))

        for name, capture, status in cases:
            page = path(name + '.html')
            stats = path(name + '.csv')
            result = run([sniffer, '-r', capture, '--verbosity', '0', '--report', page, '--stats-csv', stats])
            if result.returncode != status:
                problems.append(f'{name}: exit status {result.returncode}, expected {status}: {result.stderr}')
                continue
            shot = os.path.join(artifacts, 'report-' + name + '.png') if name == 'faulty' else None
            check(name, render(chromium, page, work, shot), stats, problems)
            if shot and not os.path.getsize(shot):
                problems.append(f'{name}: no screenshot')
    for problem in problems:
        print(problem)
    print('ok' if not problems else f'{len(problems)} problems')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
