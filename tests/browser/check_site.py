#!/usr/bin/python3
"""Opens the station's web site in headless Chromium and checks it as a
reader's browser sees it: every image decoded, no console error, every
picture the journal names reachable, the overview's strip holding one mark
per attempt of the journal, and no violation axe-core finds.

    check_site.py BASE_URL JOURNAL AXE_JS [SCREENSHOT_FOLDER]
"""
import json
import sys
import urllib.parse
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

base, journal_path, axe_path = sys.argv[1:4]
screenshots = sys.argv[4] if len(sys.argv) > 4 else None
failures = []


def fail(text):
    print("check-site: " + text, file=sys.stderr)
    failures.append(text)


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--window-size=1280,1000"):
        options.add_argument(flag)
    import tempfile
    options.add_argument("--user-data-dir=" + tempfile.mkdtemp(prefix="chromium-"))
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def check_page(driver, url, axe):
    driver.get(url)
    driver.execute_async_script("var done = arguments[0]; if (document.readyState === 'complete') done(); "
                                "else addEventListener('load', function () { done(); });")
    for img in driver.find_elements(By.TAG_NAME, "img"):
        if not driver.execute_script("return arguments[0].complete && arguments[0].naturalWidth > 0;", img):
            fail(url + ": image not decoded: " + img.get_attribute("src"))
        if not img.get_attribute("alt"):
            fail(url + ": image without alt text: " + img.get_attribute("src"))
    driver.execute_script(axe)
    result = driver.execute_async_script("var done = arguments[0]; axe.run(document).then("
                                         "function (r) { done(r.violations); }, function (e) { done(String(e)); });")
    if isinstance(result, str) or result:
        fail(url + ": axe-core: " + json.dumps(result, ensure_ascii=False)[:2000])
    for entry in driver.get_log("browser"):
        if entry["level"] == "SEVERE":
            fail(url + ": console: " + entry["message"])
    return [a.get_attribute("href") for a in driver.find_elements(By.TAG_NAME, "a")]


def reachable(url):
    try:
        with urllib.request.urlopen(url, timeout=10) as answer:
            return answer.status == 200 and len(answer.read()) > 0
    except OSError:
        return False


entries = [json.loads(line) for line in open(journal_path, encoding="utf-8") if line.strip()]
entries.sort(key=lambda entry: entry["time"])
axe = open(axe_path, encoding="utf-8").read()
driver = browser()
try:
    index = base + "/index.html"
    links = check_page(driver, index, axe)
    marks = [mark.get_attribute("data-outcome") for mark in driver.find_elements(By.CSS_SELECTOR, "[data-outcome]")]
    if marks != [entry["outcome"] for entry in entries]:
        fail("the strip's marks %s are not the journal's outcomes %s" % (marks, [e["outcome"] for e in entries]))
    if screenshots:
        driver.save_screenshot(screenshots + "/galerie-index.png") or fail("no screenshot")
    day_pages = sorted({link for link in links if link.endswith(".html") and "/index.html" not in link})
    seen_links = set(links)
    for page in day_pages:
        seen_links.update(check_page(driver, page, axe))
    if screenshots and day_pages:
        driver.get(day_pages[-1])
        driver.save_screenshot(screenshots + "/galerie-tag.png") or fail("no screenshot")
    for entry in entries:
        if entry.get("file"):
            linked = [link for link in seen_links
                      if urllib.parse.unquote(link).endswith("/bilder/" + entry["file"])]
            if not linked:
                fail("no page links the picture " + entry["file"])
            elif not reachable(linked[0]):
                fail("the picture is not served: " + linked[0])
    print("check-site: %d pages, %d marks, %d pictures checked" %
          (1 + len(day_pages), len(marks), sum(1 for e in entries if e.get("file"))))
finally:
    driver.quit()
sys.exit(1 if failures else 0)
