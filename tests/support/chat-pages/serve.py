#!/usr/bin/env python3
"""Serves small working chat pages under the chat apps' real addresses.

Each page is built from one recorded tree of its surface (tests/fixtures), so
it carries the landmarks, headings, labels and class names the parsers look
for; chat.js makes it work as a chat: Return sends the composer's text, the
user turn appears, and a canned reply streams for a few seconds with a stop
button shown, then the completion markers come back. Pages are generated at
start, so they follow the fixtures.
"""
import argparse
import html
import importlib.util
import json
import os
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

import rich

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "..", "..", "fixtures")

# surface -> (fixture file, page title for panel pages that have no web area)
PAGES = {
    "chatgpt": "chatgpt/20261201-web-finished-two-exchanges.json",
    "claude_ai": "claude_ai/20261206-web-collapsed-view-button.json",
    "gemini": "gemini/20261202-web-finished-two-exchanges.json",
    "perplexity": "perplexity/20261202-web-finished-with-citations.json",
    "deepseek": "deepseek/20261202-web-finished-reasoning-citations.json",
    "gemini_docs": "gemini_docs/20261202-docs-finished-two-exchanges.json",
    "gemini_sheets": "gemini_sheets/20261202-sheets-finished-formula.json",
    "claude_design": "claude_design/20261206-design-chat-bubbles.json",
    "claude_cowork": "claude_cowork/20261206-web-cowork-task.json",
}

LANDMARK_TAGS = {
    "AXLandmarkNavigation": ("nav", None),
    "AXLandmarkMain": ("main", None),
    "AXLandmarkBanner": ("div", "banner"),
    "AXLandmarkComplementary": ("aside", None),
    "AXLandmarkContentInfo": ("div", "contentinfo"),
    "AXLandmarkSearch": ("div", "search"),
    "AXLandmarkRegion": ("section", None),
    "AXDocumentArticle": ("article", None),
    "AXApplicationStatus": ("div", "status"),
}
IMAGE = "data:image/svg+xml,%3Csvg xmlns='http://www.w3.org/2000/svg' width='16' height='16'/%3E"


_ids = iter(range(1, 1 << 30))


def attrs(node, extra=None, keep=False):
    out = dict(extra or {})
    if keep:
        # Chromium leaves a bare generic container out of the tree; one with an
        # id stays, as the apps' own containers (with listeners or ids) do.
        out["id"] = f"n{next(_ids)}"
    classes = node.get("domClassList") or []
    if classes:
        out["class"] = " ".join(classes)
    if node.get("description"):
        out["aria-label"] = node["description"]
    return "".join(f' {k}="{html.escape(str(v), quote=True)}"' for k, v in out.items() if v is not None)


def render(node, inline=False):
    role, sub = node.get("role"), node.get("subrole")
    kids = node.get("children", [])
    # Groups among text runs are inline markup (bold, code) in the apps.
    inline_kids = any(c.get("role") == "AXStaticText" for c in kids)

    def inner():
        parts, prev_text = [], False
        for c in kids:
            is_text = c.get("role") == "AXStaticText"
            if is_text and prev_text:
                parts.append("<br>")
            parts.append(render(c, inline_kids))
            prev_text = is_text
        return "".join(parts)

    if role == "AXStaticText":
        raw = node.get("value", "")
        text = html.escape(raw)
        if raw != raw.strip() or "  " in raw:
            # Spaces that matter (code, text before inline markup) are kept.
            return f'<span style="white-space:pre-wrap"{attrs(node)}>{text}</span>'
        classes = node.get("domClassList")
        return f"<span{attrs(node)}>{text}</span>" if classes else text
    if role == "AXListMarker":
        return ""
    if role == "AXWebArea":
        # A document inside the page (the design canvas) is a frame of its own,
        # so its contents are a separate web area, as in the app.
        doc = (f"<!doctype html><html><head><meta charset=utf-8><title>{html.escape(node.get('title', ''))}</title>"
               f"</head><body>{inner()}</body></html>")
        title = html.escape(node.get("title", ""), quote=True)
        return f'<iframe title="{title}" srcdoc="{html.escape(doc, quote=True)}"></iframe>'
    if role == "AXImage":
        alt = f' alt="{html.escape(node["description"])}"' if node.get("description") else ""
        return f'<img{attrs({"domClassList": node.get("domClassList")})}{alt} src="{IMAGE}">'
    if role in ("AXButton", "AXPopUpButton"):
        extra = {"aria-haspopup": "menu"} if role == "AXPopUpButton" else {}
        if node.get("title") and not node.get("description"):
            extra["aria-label"] = node["title"]
        return f"<button{attrs(node, extra)}>{inner()}</button>"
    if role == "AXLink":
        return f'<a href="#"{attrs(node)}>{inner()}</a>'
    if role == "AXHeading":
        # A heading is named by its text; an app that shortens the text on
        # screen still has the whole of it in the page.
        text = "".join(c.get("value", "") for c in kids if c.get("role") == "AXStaticText")
        title = node.get("title")
        if title and title != text and len(kids) == 1:
            return f"<h3{attrs(node)}>{html.escape(title)}</h3>"
        return f"<h3{attrs(node)}>{inner()}</h3>"
    if role == "AXTextArea":
        extra = {"placeholder": node.get("placeholder"), "rows": "2"}
        return f"<textarea{attrs(node, extra)}></textarea>"
    if role == "AXList":
        items = "".join(f"<li{attrs(c)}>{''.join(render(g) for g in c.get('children', []))}</li>" if c.get("role") == "AXGroup" else render(c) for c in kids)
        return f"<ul{attrs(node)}>{items}</ul>"
    if role == "AXTable":
        # A chat's tables come from markdown, whose first row is the header
        # (a table without one is a layout table to Chromium: no rows at all).
        rows = [c for c in kids if c.get("role") == "AXRow"]
        head = "".join(f"<th{attrs(c)}>{''.join(render(g, True) for g in c.get('children', []))}</th>"
                       for c in rows[0].get("children", [])) if rows else ""
        body = "".join(render(r) for r in rows[1:])
        return f"<table{attrs(node)}><thead><tr>{head}</tr></thead><tbody>{body}</tbody></table>"
    if role == "AXRow":
        return f"<tr{attrs(node)}>{inner()}</tr>"
    if role == "AXCell":
        return f"<td{attrs(node)}>{inner()}</td>"
    if role == "AXToolbar":
        return f'<div role="toolbar"{attrs(node)}>{inner()}</div>'
    if role == "AXTabGroup":
        return f'<div role="tablist"{attrs(node)}>{inner()}</div>'
    if role == "AXRadioButton":
        return f'<div role="tab"{attrs(node)}>{inner()}</div>'
    if role == "AXCheckBox":
        return f'<label{attrs(node)}><input type="checkbox">{inner()}</label>'
    if node.get("_rich"):
        # One history reply carries what real replies carry (rich.py), with
        # the controls and notice real pages put beside a reply.
        tag = "span" if inline else "div"
        beside = rich.beside(node["_surface"]) if node["_surface"] in rich.NOTICES else ""
        if node["_surface"] == "perplexity":
            # The answer's blocks are the page's turn boundaries: its controls sit inside it.
            return f"<{tag}{attrs(node, keep=True)}>{node['_rich']}{beside}</{tag}>"
        return f"<{tag}{attrs(node, keep=True)}>{node['_rich']}</{tag}>" + beside
    if role in LANDMARK_TAGS or sub in LANDMARK_TAGS:
        tag, aria = LANDMARK_TAGS.get(sub) or LANDMARK_TAGS[role]
        return f"<{tag}{attrs(node, {'role': aria})}>{inner()}</{tag}>"
    tag = "span" if inline else "div"
    return f"<{tag}{attrs(node, keep=True)}>{inner()}</{tag}>"


def walk(node, parent=None):
    yield node, parent
    for c in node.get("children", []):
        yield from walk(c, node)


def classes(node):
    return node.get("domClassList") or []


def rich_body(surface, tree):
    """The history reply whose body becomes rich: the node that holds its text."""
    # Pages with markup of their own (sites/) never come here.
    nodes = list(walk(tree))
    if surface == "claude_design":
        found = [n for n, _ in nodes if "prose" in classes(n)]
    else:
        return None
    return found[-1] if found else None


# A site's page may build on another's markup: they import each other by name.
sys.path.insert(0, os.path.join(HERE, "sites"))


def site_module(surface):
    """A page rebuilt from the product's own public markup (sites/<surface>.py),
    when there is one; it replaces the page made from a recorded tree."""
    if not os.path.exists(os.path.join(HERE, "sites", surface + ".py")):
        return None
    return importlib.import_module(surface)


def page_html(surface, title, body, lang="en", script=None):
    script = script or surface
    site_js = os.path.join(HERE, "sites", script + ".js")
    own = f'<script src="/_velmar/sites/{script}.js"></script>' if os.path.exists(site_js) else ""
    return (f"<!doctype html><html lang={lang}><head><meta charset=utf-8><title>{html.escape(title)}</title>"
            '<link rel=stylesheet href="/_velmar/chat.css"></head>'
            f'<body data-surface="{surface}">{body}<script>window.velmarReply = {reply_json(surface)};</script>'
            f'{own}<script src="/_velmar/chat.js"></script></body></html>')


def build(surface, rel):
    site = site_module(surface)
    if site is not None:
        # url, title, body; the body is the product's markup with the rich
        # history reply (rich.body) in place.
        url, title, body = site.page(rich)
        return url, page_html(surface, title, body, script=getattr(site, "SCRIPT", None))
    with open(os.path.join(FIXTURES, rel), encoding="utf-8") as f:
        doc = json.load(f)
    tree = doc.get("tree", doc)
    target = rich_body(surface, tree)
    if target is not None:
        target["_rich"] = rich.body(surface, rich.HISTORY)
        target["_surface"] = surface
        if surface.startswith("claude"):
            # The message's hidden heading repeats the start of its reply.
            for message, _ in walk(tree):
                kids = message.get("children", [])
                if any(target is n for n, _ in walk(message)) and kids and kids[0].get("role") == "AXHeading" \
                        and message.get("description", "").startswith("Message "):
                    first = "".join(r[1] for r in rich.HISTORY[0][1] if r[0] != "img")
                    kids[0]["children"] = [{"role": "AXStaticText", "value": "Claude responded: " + first}]
    url = tree.get("url") or doc.get("meta", {}).get("url")
    title, body = tree.get("title", surface), "".join(render(c) for c in tree.get("children", []))
    return url, page_html(surface, title, body)


def rules_page():
    """The text rules' cases, each read by chat.js's reader; the results
    are written into the page for rules-check.py."""
    cases = json.load(open(os.path.join(HERE, "text-rules.json"), encoding="utf-8"))
    boxes = "".join(f'<div class="case">{c["html"]}</div>' for c in cases)
    run = ("<script>const cases = " + json.dumps(cases).replace("</", "<\\/") + ";"
           "const got = Array.from(document.querySelectorAll('.case')).map((el, i) => "
           "({description: cases[i].description, expected: cases[i].text, read: window.velmarReadText(el)}));"
           "const out = document.createElement('pre'); out.id = 'velmar-rules';"
           "out.textContent = JSON.stringify(got); document.body.append(out);</script>")
    return (f"<!doctype html><html lang=en><head><meta charset=utf-8><title>Text rules</title>"
            f'<link rel=stylesheet href="/_velmar/chat.css"></head><body data-surface="rules">{boxes}'
            f'<script src="/_velmar/chat.js"></script>{run}</body></html>').encode()


def reply_json(surface):
    """The streamed reply chat.js shows, and what it puts beside it when done."""
    if surface not in rich.DIALECTS and surface not in ("gemini_docs", "gemini_sheets", "claude_design"):
        return "null"
    data = {"html": rich.body(surface, rich.REPLY), "beside": rich.beside(surface) if surface in rich.NOTICES else ""}
    return json.dumps(data).replace("</", "<\\/")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cert", required=True)
    ap.add_argument("--key", required=True)
    ap.add_argument("--port-file", required=True)
    ap.add_argument("--list", action="store_true", help="print surface and address of every page")
    args = ap.parse_args()

    routes = {}
    listing = {}
    for surface, rel in PAGES.items():
        url, page = build(surface, rel)
        parts = urllib.parse.urlsplit(url)
        routes[(parts.hostname, parts.path)] = page.encode()
        listing[surface] = url
    # What each open page states its bubbles read, by the page's address:
    # chat.js posts it after loading and after every reply; tests read it.
    stated, lock = {}, threading.Lock()
    statics = {name: open(os.path.join(HERE, name), "rb").read() for name in ("chat.js", "chat.css")}
    sites_dir = os.path.join(HERE, "sites")
    for name in sorted(os.listdir(sites_dir)) if os.path.isdir(sites_dir) else []:
        if name.endswith(".js"):
            statics["sites/" + name] = open(os.path.join(sites_dir, name), "rb").read()

    class Handler(BaseHTTPRequestHandler):
        def do_GET(self):
            host = (self.headers.get("Host") or "").split(":")[0]
            path = urllib.parse.urlsplit(self.path).path
            if path == "/_velmar/pages.json":
                return self.send(200, "application/json", json.dumps(listing).encode())
            if path == "/_velmar/rules":
                return self.send(200, "text/html; charset=utf-8", rules_page())
            if path == "/_velmar/stated.json":
                with lock:
                    return self.send(200, "application/json", json.dumps(stated).encode())
            if path.startswith("/_velmar/") and path[9:] in statics:
                kind = "text/javascript" if path.endswith(".js") else "text/css"
                return self.send(200, kind, statics[path[9:]])
            page = routes.get((host, path))
            if page is None:
                return self.send(404, "text/plain", b"not found")
            self.send(200, "text/html; charset=utf-8", page)

        def do_POST(self):
            if urllib.parse.urlsplit(self.path).path != "/_velmar/stated":
                return self.send(404, "text/plain", b"not found")
            try:
                data = json.loads(self.rfile.read(int(self.headers.get("Content-Length") or 0)))
                href = data["href"]
            except (ValueError, KeyError, TypeError):
                return self.send(400, "text/plain", b"bad statement")
            data["postedAt"] = time.time()
            with lock:
                stated[href] = data
            self.send(204, "text/plain", b"")

        def send(self, code, kind, body):
            self.send_response(code)
            self.send_header("Content-Type", kind)
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Cache-Control", "no-store")
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *a):
            pass

    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(args.cert, args.key)
    server.socket = ctx.wrap_socket(server.socket, server_side=True)
    with open(os.path.join(os.path.dirname(args.port_file), "pages.json"), "w") as f:
        json.dump(listing, f)
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(args.port_file + ".tmp", args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
