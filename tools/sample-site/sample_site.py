#!/usr/bin/env python3
"""A small local book site for trying Quillmere without the internet.

Two sites on 127.0.0.1, one per default rule:
  - a Vellowick-shaped site, pages in GBK, book index at /book/1/;
  - a Marrowdene-shaped site, pages in UTF-8, book index at its root /.

  sample_site.py serve [--port P]          serve both, print the addresses
  sample_site.py generate DIR [--chapters N]  write the pages as files only
"""
import argparse
import http.server
import os
import sys
import threading

VELLOWICK_TITLE = "雾港纪事"
VELLOWICK_AUTHOR = "沈 砚"
MARROWDENE_TITLE = "山海　旧梦"
MARROWDENE_AUTHOR = "林知秋"

PARAGRAPHS = [
    "潮水退去的时候，码头上只剩下一盏灯。",
    "&ldquo;你来晚了。&rdquo;她说，声音轻得像雾&hellip;&hellip;",
    "他笑了笑&mdash;&mdash;没有回答，只把伞收起来。",
    "远处传来汽笛声&nbsp;&nbsp;一声，又一声。",
]


def chapter_body(book, n):
    paras = "".join(f"<p>{p}</p>" for p in PARAGRAPHS)
    return (f"<p>{book}，第{n}章。</p>{paras}"
            f"这一行以换行结束<br /><br />下一行????之后"
            f"<br/>&quot;引号&quot;与<BR />大写标签保留")


def vellowick(chapters):
    """Pages of the GBK site, as {path: bytes}."""
    items = "\n".join(
        f'<li class="chapter"><a href="{n}.html" title="第{n}章">第{n}章 雾起</a></li>'
        for n in range(1, chapters + 1))
    index = f"""<html><head>
<meta http-equiv="Content-Type" content="text/html; charset=gbk">
<meta property="og:novel:book_name" content="{VELLOWICK_TITLE}"/>
<meta property="og:novel:author" content="{VELLOWICK_AUTHOR}"/>
</head><body><ul>
{items}
</ul></body></html>"""
    pages = {"/book/1/": index, "/book/1/index.html": index}
    for n in range(1, chapters + 1):
        pages[f"/book/1/{n}.html"] = f"""<html><head>
<meta http-equiv="Content-Type" content="text/html; charset=gbk"></head><body>
<h1>第{n}章 雾起</h1>
<div id="content" class="content">{chapter_body(VELLOWICK_TITLE, n)}</div>
<div class="footer">下一章</div></body></html>"""
    return {path: text.encode("gbk") for path, text in pages.items()}


def marrowdene(chapters):
    """Pages of the UTF-8 site, as {path: bytes}."""
    items = "\n".join(
        f'<li><a href="/shanhai/{n}.html">第{n}回 山门</a></li>'
        for n in range(1, chapters + 1))
    index = f"""<html><head><meta charset="utf-8">
<script>var b_tit='{MARROWDENE_TITLE}',b_id=2;</script></head><body>
<p>作者：<span><a href="/search.php?q={MARROWDENE_AUTHOR}" target=_blank>{MARROWDENE_AUTHOR}</a></span></p>
<ul>
{items}
</ul></body></html>"""
    pages = {"/": index, "/index.html": index}
    for n in range(1, chapters + 1):
        pages[f"/shanhai/{n}.html"] = f"""<html><head><meta charset="utf-8"></head><body>
<div class="chapter_content" id="chapter_content" style="font-size: 24px;">{chapter_body(MARROWDENE_TITLE, n)}</div>
</body></html>"""
    return {path: text.encode("utf-8") for path, text in pages.items()}


def make_handler(pages):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def do_GET(self):
            body = pages.get(self.path.split("#")[0])
            status = 200 if body is not None else 404
            if body is None:
                body = b"<html><body>not found</body></html>"
            self.send_response(status)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    return Handler


def serve(port, chapters):
    sites = [("Vellowick", vellowick(chapters), "/book/1/index.html"),
             ("Marrowdene", marrowdene(chapters), "/")]
    servers = []
    for offset, (name, pages, index) in enumerate(sites):
        server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", port + offset if port else 0), make_handler(pages))
        servers.append(server)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        print(f"{name} rule: http://127.0.0.1:{server.server_address[1]}{index}", flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        pass


def generate(directory, chapters):
    for site, pages in (("vellowick", vellowick(chapters)), ("marrowdene", marrowdene(chapters))):
        for path, body in pages.items():
            target = os.path.join(directory, site, path.lstrip("/"))
            if path.endswith("/"):
                target = os.path.join(target, "index.html")
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "wb") as f:
                f.write(body)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    s = sub.add_parser("serve")
    s.add_argument("--port", type=int, default=8930, help="first of two ports; 0 picks free ones")
    s.add_argument("--chapters", type=int, default=30)
    g = sub.add_parser("generate")
    g.add_argument("directory")
    g.add_argument("--chapters", type=int, default=30)
    args = parser.parse_args()
    if args.command == "serve":
        serve(args.port, args.chapters)
    else:
        generate(args.directory, args.chapters)


if __name__ == "__main__":
    sys.exit(main())
