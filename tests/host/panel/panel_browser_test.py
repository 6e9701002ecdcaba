#!/usr/bin/python3
"""The panel in a real browser: headless chromium driven through selenium.

Loads Quendor, types a list into pin 0, picks an item in the drop-down and
checks pins 2 and 3; writes a number to pin 3 and checks that the drop-down
moved; checks that the call pane shows the nested echo; loads the audio
example Gain and plays it in real time at a chosen rate and block size, with
the scope and meter of its output, and feeds its input a chosen signal; loads a module that crashes in open and
checks that the page says so. Then what must hold under
load and after faults: eight pages of one browser all live at once, the
layout of a narrow window, a number applied when its field is left, controls
of a closed module disabled, a text beyond Latin-1 sent as its UTF-8 bytes and
said so, a crash, a hang and a kill of the module's process each followed by a
working restart, and a page that recovers by itself when the server is
started again on its port. Screenshots go to --out.

Exit status 77 (a skip for CTest) when chromium is not installed.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

SKIP = 77


def find(*names):
    for name in names:
        path = shutil.which(name) or (name if os.path.isfile(name) else None)
        if path:
            return path
    return None


class Panel:
    """`wqhost panel LIB --no-open` on a free port, stopped at the end."""

    def __init__(self, wqhost, library, port=None, timeout=None):
        command = [wqhost, 'panel', library, '--no-open']
        if port:
            command += ['--port', str(port)]
        if timeout:
            command += ['--timeout', str(timeout)]
        self.proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     text=True)
        line = self.proc.stdout.readline()
        if not line.startswith('wqhost panel: http://127.0.0.1:'):
            self.stop()
            raise AssertionError('wqhost panel did not start: %r %s' % (line, self.proc.stderr.read()))
        self.url = line.split()[2]
        self.port = int(self.url.rstrip('/').rsplit(':', 1)[1])

    def module_processes(self):
        """The ids of the module's processes (the server's children)."""
        found = []
        for entry in os.listdir('/proc'):
            if not entry.isdigit():
                continue
            try:
                with open('/proc/%s/stat' % entry) as stat:
                    fields = stat.read().rsplit(')', 1)[1].split()
            except OSError:
                continue
            if int(fields[1]) == self.proc.pid and fields[0] != 'Z':
                found.append(int(entry))
        return found

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--wqhost', required=True)
    parser.add_argument('--quendor', required=True)
    parser.add_argument('--gain', required=True, help='the audio example Gain (no GUI side)')
    parser.add_argument('--crashing', required=True, help='a module that crashes in open')
    parser.add_argument('--crash-on-set', required=True, help='a module that crashes on a set')
    parser.add_argument('--hang-on-set', required=True, help='a module that hangs on a set')
    parser.add_argument('--out', required=True, help='folder for the screenshots')
    args = parser.parse_args()

    chromium = find('chromium', 'chromium-browser', '/usr/bin/chromium')
    if not chromium:
        print('SKIP: chromium is not installed (scripts/setup.sh --browser installs it)')
        return SKIP
    driver_path = find('chromedriver', '/usr/bin/chromedriver')
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.by import By
        from selenium.webdriver.common.keys import Keys
        from selenium.webdriver.support.ui import Select, WebDriverWait
    except ImportError:
        print('FAIL: chromium is installed but python3-selenium is not '
              '(scripts/setup.sh --browser installs it)')
        return 1
    if not driver_path:
        print('FAIL: chromium is installed but chromedriver is not '
              '(scripts/setup.sh --browser installs chromium-driver)')
        return 1
    os.makedirs(args.out, exist_ok=True)

    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for arg in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
                '--window-size=1400,860', '--no-first-run', '--disable-extensions'):
        options.add_argument(arg)
    browser = webdriver.Chrome(service=Service(driver_path), options=options)
    browser.set_page_load_timeout(20)
    wait = WebDriverWait(browser, 10)
    panels = []
    checks = 0

    def check(condition, what):
        nonlocal checks
        try:
            wait.until(lambda _: condition())
        except Exception:
            shot = os.path.join(args.out, 'panel-failed.png')
            browser.save_screenshot(shot)
            raise AssertionError('%s (screenshot: %s)' % (what, shot))
        checks += 1

    def text(element_id):
        return browser.find_element(By.ID, element_id).text

    try:
        quendor = Panel(args.wqhost, args.quendor)
        panels.append(quendor)
        browser.get(quendor.url)
        check(lambda: browser.find_elements(By.ID, 'pin-0-input'), 'the pins are shown')
        check(lambda: text('status') == 'open', 'the module is open')

        # A list typed into pin 0 (an output, yet what a user types).
        field = browser.find_element(By.ID, 'pin-0-input')
        field.send_keys('red,green,blue', Keys.ENTER)
        choices = Select(browser.find_element(By.ID, 'pin-1-select'))
        check(lambda: [o.text for o in choices.options] == ['0: red', '1: green', '2: blue'],
              'the drop-down offers the list the module handed the host')

        # An item picked in the drop-down: pins 2 and 3 follow.
        choices.select_by_value('1')
        check(lambda: text('pin-2-value') == 'green' and text('pin-3-value') == '1',
              'pins 2 and 3 follow the selection')
        check(lambda: 'by-module' in browser.find_element(By.ID, 'pin-2').get_attribute('class'),
              'the module\'s write to pin 2 is highlighted')
        browser.save_screenshot(os.path.join(args.out, 'panel-selected.png'))

        # A number written to pin 3 moves the drop-down.
        number = browser.find_element(By.ID, 'pin-3-input')
        number.clear()
        number.send_keys('2', Keys.ENTER)
        check(lambda: choices.first_selected_option.get_attribute('value') == '2'
              and text('pin-2-value') == 'blue', 'the drop-down moved to item 2')
        browser.save_screenshot(os.path.join(args.out, 'panel.png'))

        # The call pane shows the echo nested in the module's own write.
        def nested_echo():
            for line in browser.find_elements(By.CSS_SELECTOR, '#trace .call'):
                if int(line.get_attribute('data-depth')) >= 2 and 'GD_PIN_CHANGED' in line.text:
                    return line.text.startswith('    gui -> GD_PIN_CHANGED')
            return False
        check(nested_echo, 'the call pane shows a nested GD_PIN_CHANGED, indented')

        # The filter leaves only matching calls.
        browser.find_element(By.ID, 'trace-filter').send_keys('GH_PIN_SET_TEXT')
        def filtered():
            shown = [l.text for l in browser.find_elements(By.CSS_SELECTOR, '#trace .call')
                     if l.is_displayed()]
            return shown and all('GH_PIN_SET_TEXT' in l for l in shown)
        check(filtered, 'the filter shows only matching calls')
        browser.find_element(By.ID, 'trace-filter').clear()
        browser.find_element(By.ID, 'trace-filter').send_keys(' ')  # fires input
        browser.find_element(By.ID, 'trace-filter').send_keys(Keys.BACKSPACE)

        # Echo off, process blocks: the buttons reach the module.
        browser.find_element(By.ID, 'echo').click()
        check(lambda: text('echo') == 'echo: off', 'echo is off')
        browser.find_element(By.ID, 'echo').click()
        check(lambda: text('echo') == 'echo: on', 'echo is on again')
        browser.find_element(By.ID, 'process').click()
        check(lambda: any('process' in l.text for l in
                          browser.find_elements(By.CSS_SELECTOR, '#trace .call')),
              'a processed block shows in the call pane')
        check(lambda: text('problem-count') == '0', 'no problems found in Quendor')

        # The audio example: one side only, an output with a scope and a
        # meter, played in real time at the chosen rate and block size.
        gain = Panel(args.wqhost, args.gain)
        panels.append(gain)
        browser.get(gain.url)
        check(lambda: browser.find_elements(By.ID, 'pin-1-meter'), 'the output has a meter')
        check(lambda: text('status') == 'open', 'Gain is open')
        check(lambda: text('sides') == 'audio side only', 'the page says Gain has an audio side only')
        check(lambda: not browser.find_elements(By.ID, 'pin-0-meter'), 'an input has no meter')
        for field, value in (('rate', '8000'), ('block-size', '32')):
            box = browser.find_element(By.ID, field)
            box.clear()
            box.send_keys(value)
        browser.find_element(By.ID, 'play').click()
        check(lambda: text('play') == 'stop', 'play turns into stop')

        def played():
            shown = text('played').split()
            return len(shown) >= 2 and int(shown[0]) >= 50
        check(played, 'playing processes blocks in real time (250 a second here)')
        browser.find_element(By.ID, 'play').click()
        check(lambda: text('play') == 'play', 'stop ends playing')
        check(lambda: text('pin-1-meter') == 'peak -inf dBFS, RMS -inf dBFS',
              'the meter of a silent output reads -inf dBFS')
        # The input's signal chooser: a constant 0.5 into IN is 0.5 on OUT.
        check(lambda: not browser.find_elements(By.ID, 'pin-1-signal'), 'an output has no chooser')
        Select(browser.find_element(By.ID, 'pin-0-signal-kind')).select_by_value('constant')
        args_box = browser.find_element(By.ID, 'pin-0-signal-args')
        args_box.clear()
        args_box.send_keys('0.5')
        browser.find_element(By.ID, 'pin-0-signal').click()
        browser.find_element(By.ID, 'process').click()
        check(lambda: text('pin-1-meter') == 'peak -6.0 dBFS, RMS -6.0 dBFS',
              'the chosen signal feeds the input: OUT reads -6.0 dBFS')
        scope = browser.find_element(By.ID, 'pin-1-plot')
        check(lambda: scope.is_displayed(), 'the output has a scope')
        check(lambda: text('problem-count') == '0', 'no problems found in Gain')
        browser.save_screenshot(os.path.join(args.out, 'panel-gain.png'))

        # A module that crashes in open: the page says so.
        crashing = Panel(args.wqhost, args.crashing)
        panels.append(crashing)
        browser.get(crashing.url)
        check(lambda: browser.find_element(By.ID, 'ended').is_displayed()
              and "the module's process ended" in text('ended') and 'AD_OPEN' in text('ended'),
              'the page says the module crashed in open')
        check(lambda: 'did not start' in text('module-name'), 'the page says no module runs')
        check(lambda: text('status') == 'ended', 'the status says the session ended')
        browser.save_screenshot(os.path.join(args.out, 'panel-crashed.png'))
        check(lambda: crashing.proc.poll() is None, 'the server outlives the module')
        crashing.stop()

        checks += under_load_and_faults(browser, check, text, args, panels, By, Keys)
    finally:
        browser.quit()
        for p in panels:
            p.stop()
    print('%d checks passed; screenshots in %s' % (checks, args.out))
    return 0


def under_load_and_faults(browser, check, text, args, panels, By, Keys):
    """What the panel guarantees with many pages, a narrow window and faults."""
    quendor = Panel(args.wqhost, args.quendor)
    panels.append(quendor)
    first = browser.current_window_handle

    def find(element_id):
        return browser.find_element(By.ID, element_id)

    def enabled(element_id):
        return find(element_id).is_enabled()

    # Eight pages of one browser: more than it opens connections to one
    # server, yet each is live and a set in the last shows in the first.
    browser.get(quendor.url)
    check(lambda: text('status') == 'open', 'the first page is live')
    tabs = [first]
    for _ in range(7):
        browser.switch_to.new_window('tab')
        browser.get(quendor.url)
        tabs.append(browser.current_window_handle)
        check(lambda: text('status') == 'open', 'each further page is live')
    field = find('pin-0-input')
    field.send_keys('one,two', Keys.ENTER)
    check(lambda: text('pin-2-value') == 'one', 'the last page sets pin 0')
    for tab in tabs[1:]:
        browser.switch_to.window(tab)
        browser.close()
    browser.switch_to.window(first)
    check(lambda: text('pin-2-value') == 'one', 'the first page saw the set of the last')

    # A number left with Tab is applied.
    number = find('pin-3-input')
    number.clear()
    number.send_keys('1', Keys.TAB)
    check(lambda: text('pin-2-value') == 'two', 'a number left with Tab is applied')

    # A text beyond Latin-1 goes as its UTF-8 bytes, and the page says so.
    field = find('pin-0-input')
    field.clear()
    field.send_keys('caf\u00e9,\u20ac', Keys.ENTER)
    check(lambda: find('pin-0-note').is_displayed() and 'UTF-8' in text('pin-0-note'),
          'the page says a text beyond Latin-1 went as UTF-8 bytes')
    check(lambda: browser.execute_script("return document.getElementById('pin-0-value').textContent")
          == 'caf\u00c3\u00a9,\u00e2\u0082\u00ac',
          'the module holds the UTF-8 bytes of the euro sign')

    # A closed module: nothing to set or process until it is opened again.
    find('close').click()
    check(lambda: text('status') == 'closed' and not enabled('pin-0-set')
          and not enabled('process') and enabled('open'), 'a closed module\'s controls are off')
    find('open').click()
    check(lambda: text('status') == 'open' and enabled('pin-0-set') and not enabled('open'),
          'an open module\'s controls are on')

    # A narrow window: nothing wider than it, the set buttons in view.
    size = browser.get_window_size()
    browser.set_window_size(600, 860)
    def fits():
        return browser.execute_script(
            'const w = document.documentElement.clientWidth;'
            'if (document.documentElement.scrollWidth > w) return false;'
            'return [...document.querySelectorAll("#pins button")]'
            '.every((b) => b.getBoundingClientRect().right <= w);')
    check(fits, 'at 600 px the page does not scroll sideways and the set buttons show')
    browser.save_screenshot(os.path.join(args.out, 'panel-narrow.png'))
    browser.set_window_size(size['width'], size['height'])

    # The server started again on its port: the page recovers by itself.
    port = quendor.port
    quendor.stop()
    check(lambda: text('status') == 'reconnecting' and not enabled('pin-0-set'),
          'the page notices that the server is gone')
    quendor = Panel(args.wqhost, args.quendor, port=port)
    panels.append(quendor)
    check(lambda: text('status') == 'open' and enabled('pin-0-set'),
          'the page recovers when the server is back, without a reload')

    # A kill of the module's process: noticed, named, and restarted.
    children = quendor.module_processes()
    if len(children) != 1:
        raise AssertionError('the panel has %d module processes' % len(children))
    os.kill(children[0], 9)
    check(lambda: find('ended').is_displayed() and 'SIGKILL' in text('ended'),
          'the page says the module\'s process was killed, and by which signal')
    find('restart').click()
    check(lambda: not find('ended').is_displayed() and text('status') == 'open'
          and enabled('pin-0-set'), 'a restart after a kill goes on with a fresh process')
    check(lambda: quendor.module_processes() and quendor.module_processes() != children,
          'the restart started a fresh module process')
    quendor.stop()

    # A crash and a hang on a set: each followed by a working restart.
    for library, timeout, said in ((args.crash_on_set, None, "the module's process ended"),
                                   (args.hang_on_set, 1, 'did not answer')):
        panel = Panel(args.wqhost, library, timeout=timeout)
        panels.append(panel)
        browser.get(panel.url)
        check(lambda: text('status') == 'open', 'the faulty module starts')
        for _ in range(2):
            field = find('pin-0-input')
            field.clear()
            field.send_keys('x', Keys.ENTER)
            check(lambda: find('ended').is_displayed() and said in text('ended')
                  and not enabled('pin-0-set') and enabled('restart'),
                  'the page says the module\'s process ended: ' + said)
            find('restart').click()
            check(lambda: not find('ended').is_displayed() and text('status') == 'open'
                  and enabled('pin-0-set'), 'the restart goes on')
        browser.save_screenshot(os.path.join(args.out, 'panel-restarted.png'))
        panel.stop()
    return 0


if __name__ == '__main__':
    sys.exit(main())
