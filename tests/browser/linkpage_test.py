#!/usr/bin/env python3
"""The external link page in a real browser.

Headless Chromium, driven by Selenium through chromedriver, against a real
folvane-server on a free loopback port with a temporary demo data folder. The
links are made through the server's API as the demo user zhangsan. One flow:
a password link (wrong password refused, right one lists the files), preview
and download as the link's rights allow, a preview-only link with a file that
cannot be previewed, an upload through the page's form, the visit limit and an
expired link. Every page is checked for Content-Security-Policy reports in the
browser's console, and a screenshot of each is saved.
"""

import argparse
import json
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse
import urllib.request

from selenium import webdriver
from selenium.common.exceptions import NoSuchElementException, StaleElementReferenceException
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

ARGS = None


def wait_for(what, condition, timeout=10.0):
    """Polls `condition` until it gives a true value; fails naming `what`."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("never came: " + what)
        time.sleep(0.05)


class Server:
    """folvane-server with the demo data in a temporary folder, on port 0."""

    def __init__(self, binary, folder):
        self.data = os.path.join(folder, "data")
        self.log = open(os.path.join(folder, "server.log"), "w+")
        self.process = subprocess.Popen(
            [binary, "--data", self.data, "--listen", "127.0.0.1:0", "--seed", "demo"],
            stdout=self.log, stderr=subprocess.STDOUT)

        def port():
            if self.process.poll() is not None:
                raise AssertionError("the server stopped: " + self.output())
            for line in self.output().splitlines():
                if line.startswith("listening on "):
                    return int(line.rsplit(":", 1)[1])
            return None

        self.port = wait_for("the server's 'listening on' line", port, 30)
        self.base = "http://127.0.0.1:%d" % self.port

    def output(self):
        self.log.seek(0)
        return self.log.read()

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log.close()

    def post(self, path, **form):
        body = urllib.parse.urlencode(form).encode()
        with urllib.request.urlopen(self.base + path, body, timeout=10) as reply:
            return reply.read()

    def call(self, path, **form):
        reply = json.loads(self.post(path, **form))
        if str(reply.get("code")) != "0":
            raise AssertionError("%s refused: %s" % (path, reply))
        return reply


class LinkPageInBrowser(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="folvane-browser-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.server = Server(ARGS.server, self.folder)
        self.addCleanup(self.server.stop)
        self.token = self.server.call("/api/user/login.jf", username="zhangsan",
                                      password="123456", mac="", ip="")["data"]["token"]
        self.downloads = os.path.join(self.folder, "downloads")
        os.makedirs(self.downloads)
        os.makedirs(ARGS.shots, exist_ok=True)
        self.browser = self.start_browser()
        self.addCleanup(self.browser.quit)

    def start_browser(self):
        options = Options()
        options.binary_location = ARGS.chromium
        for arg in ("--headless=new", "--window-size=900,640", "--disable-gpu",
                    "--disable-dev-shm-usage", "--no-first-run", "--lang=zh-CN",
                    "--user-data-dir=" + os.path.join(self.folder, "profile")):
            options.add_argument(arg)
        if os.geteuid() == 0:
            options.add_argument("--no-sandbox")  # Chromium's sandbox refuses root
        options.add_experimental_option("prefs", {
            "download.default_directory": self.downloads,
            "download.prompt_for_download": False,
        })
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        service = Service(executable_path=ARGS.chromedriver,
                          log_path=os.path.join(self.folder, "chromedriver.log"))
        browser = webdriver.Chrome(service=service, options=options)
        browser.set_page_load_timeout(15)
        browser.execute_cdp_cmd("Page.setDownloadBehavior",
                                {"behavior": "allow", "downloadPath": self.downloads})
        return browser

    # The server side, through its API.

    def id_of(self, parent, name):
        for entry in self.server.call("/api/file/list-file.jf", token=self.token,
                                      parentId=parent)["data"]:
            if entry["fileName"] == name:
                return entry["fileId"]
        raise AssertionError("no %s in %s" % (name, parent))

    def content(self, file_id):
        return self.server.post("/api/file/download.jf", token=self.token, fileIds=file_id)

    def link(self, file_ids, rights, password="", max_visit=0):
        expiry = time.strftime("%Y-%m-%d", time.localtime(time.time() + 7 * 86400))
        reply = self.server.call("/api/file/link-add.jf", token=self.token,
                                 fileIds=",".join(file_ids), linkType="2" if password else "1",
                                 pwd=password, maxVisit=str(max_visit), linkAuth=rights,
                                 linkExpiry=expiry, desp="浏览器测试")
        return self.server.base + reply["url"]

    # The browser side.

    def open(self, url):
        self.browser.get(url)
        return self.page_text()

    def page_text(self):
        """The page's text; empty while the browser is between two pages."""
        try:
            return self.browser.find_element(By.TAG_NAME, "body").text
        except (NoSuchElementException, StaleElementReferenceException):
            return ""

    def shot(self, name):
        self.browser.save_screenshot(os.path.join(ARGS.shots, name + ".png"))

    def assert_no_policy_reports(self):
        """The page works under its own Content-Security-Policy."""
        reports = [e["message"] for e in self.browser.get_log("browser")
                   if "Content Security Policy" in e["message"]]
        self.assertEqual(reports, [])

    def row_links(self, file_name):
        for row in self.browser.find_elements(By.TAG_NAME, "tr"):
            cells = row.find_elements(By.TAG_NAME, "td")
            if cells and cells[0].text == file_name:
                return {a.text: a for a in row.find_elements(By.TAG_NAME, "a")}, cells[-1].text
        raise AssertionError("no row for " + file_name)

    def downloaded(self, name):
        path = os.path.join(self.downloads, name)

        def complete():
            names = os.listdir(self.downloads)
            return name in names and not any(n.endswith(".crdownload") for n in names)

        wait_for("the download of " + name + " (folder holds %s)" % os.listdir(self.downloads),
                 complete)
        with open(path, "rb") as f:
            return f.read()

    def test_link_pages(self):
        rd = self.id_of("0", "研发中心")
        design = self.id_of(rd, "设计文档")
        api_doc = self.id_of(design, "接口说明.md")
        picture = self.id_of(design, "架构图.png")
        docx = self.id_of(design, "需求说明.docx")

        # A password link: the form first, a wrong password refused.
        url = self.link([design], "1,2", password="开门 123")
        text = self.open(url)
        self.assertIn("访问密码", text)
        self.assertNotIn("接口说明.md", text)
        self.shot("01-password")
        field = self.browser.find_element(By.NAME, "pwd")
        field.send_keys("wrong")
        field.submit()
        wait_for("the wrong-password note", lambda: "密码错误" in self.page_text())
        self.assertNotIn("接口说明.md", self.page_text())
        self.shot("02-wrong-password")
        self.assert_no_policy_reports()

        # The right one lists the folder's files with preview and download.
        field = self.browser.find_element(By.NAME, "pwd")
        field.send_keys("开门 123")
        field.submit()
        wait_for("the file list", lambda: "接口说明.md" in self.page_text())
        for name in ("接口说明.md", "架构图.png", "需求说明.docx"):
            self.assertIn(name, self.page_text())
        self.shot("03-listing")
        self.assert_no_policy_reports()
        links, _ = self.row_links("需求说明.docx")
        self.assertEqual(sorted(links), ["下载"])  # a .docx cannot be shown in place
        links, _ = self.row_links("接口说明.md")
        self.assertEqual(sorted(links), ["下载", "预览"])

        # Preview: text as text, the picture as a picture.
        links["预览"].click()
        wait_for("the text preview", lambda: "所有接口返回" in self.page_text())
        self.assertEqual(self.page_text().strip(), self.content(api_doc).decode().strip())
        self.shot("04-preview-text")
        self.browser.back()
        links, _ = self.row_links("架构图.png")
        links["预览"].click()
        image = wait_for("the picture preview",
                         lambda: self.browser.find_elements(By.TAG_NAME, "img"))[0]
        self.assertEqual(self.browser.execute_script("return arguments[0].naturalWidth", image),
                         160)
        self.shot("05-preview-image")
        self.browser.back()

        # Download: the file lands under its own name with its bytes.
        links, _ = self.row_links("需求说明.docx")
        links["下载"].click()
        self.assertEqual(self.downloaded("需求说明.docx"), self.content(docx))

        # Preview only: no download anywhere, and the .docx is not previewable.
        url = self.link([api_doc, docx], "1")
        self.open(url)
        links, note = self.row_links("需求说明.docx")
        self.assertEqual(links, {})
        self.assertEqual(note, "不支持预览")
        links, _ = self.row_links("接口说明.md")
        self.assertEqual(sorted(links), ["预览"])
        self.shot("06-preview-only")
        self.assert_no_policy_reports()
        text = self.open(url + "/file/" + docx)
        self.assertIn("该文件不支持预览", text)
        self.shot("07-not-previewable")
        self.assertFalse(os.path.exists(os.path.join(self.downloads, "需求说明(1).docx")))

        # Upload through the page's form.
        inbox = self.server.call("/api/file/save-fold.jf", token=self.token, parentId=rd,
                                 name="外部收件箱")["fileId"]
        local = os.path.join(self.folder, "来自浏览器.txt")
        with open(local, "wb") as f:
            f.write("浏览器上传的内容\n".encode())
        self.open(self.link([inbox], "3"))
        self.shot("08-upload-form")
        self.browser.find_element(By.CSS_SELECTOR, "input[type=file]").send_keys(local)
        self.browser.find_element(By.CSS_SELECTOR, "form button[type=submit]").click()
        wait_for("the upload note", lambda: "已上传：来自浏览器.txt" in self.page_text())
        self.shot("09-uploaded")
        self.assert_no_policy_reports()
        self.assertEqual(self.content(self.id_of(inbox, "来自浏览器.txt")),
                         "浏览器上传的内容\n".encode())

        # The visit limit: two page views, then a refusal.
        url = self.link([api_doc], "2", max_visit=2)
        self.assertIn("已访问 1 / 2 次", self.open(url))
        self.assertIn("已访问 2 / 2 次", self.open(url))
        text = self.open(url)
        self.assertIn("链接的访问次数已用完", text)
        self.assertNotIn("接口说明.md", text)
        self.shot("10-visits-used")

        # An expired link (its expiry moved into the past in the database).
        url = self.link([api_doc], "2")
        self.assertIn("接口说明.md", self.open(url))
        with sqlite3.connect(os.path.join(self.server.data, "folvane.db"), timeout=10) as db:
            db.execute("UPDATE links SET expires_at = 1000 WHERE code = ?",
                       (url.rsplit("/", 1)[1],))
        text = self.open(url)
        self.assertIn("链接已过期", text)
        self.assertNotIn("接口说明.md", text)
        self.shot("11-expired")
        self.assert_no_policy_reports()


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--server", required=True, help="the folvane-server program")
    parser.add_argument("--shots", required=True, help="folder for the screenshots")
    parser.add_argument("--chromium", default=shutil.which("chromium") or "/usr/bin/chromium")
    parser.add_argument("--chromedriver",
                        default=shutil.which("chromedriver") or "/usr/bin/chromedriver")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
