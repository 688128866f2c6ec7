#!/usr/bin/env python3
"""Turns the Markdown user guide into a page a browser shows well: cmark-gfm renders it (with its table extension), and
each heading gets the id that the guide's own links use (GitHub's rule: lower case,
punctuation dropped, spaces as dashes)."""
import html
import re
import subprocess
import sys


def slug(text):
    text = html.unescape(re.sub(r"<[^>]+>", "", text)).strip().lower()
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def main(source, target):
    body = subprocess.run(["cmark-gfm", "--extension", "table", "--to", "html", source], check=True,
                          capture_output=True, text=True).stdout
    title = "Brindlewave user guide"
    first = re.search(r"<h1>(.*?)</h1>", body)
    if first:
        title = html.unescape(re.sub(r"<[^>]+>", "", first.group(1)))
    body = re.sub(r"<h([1-6])>(.*?)</h\1>",
                  lambda m: f'<h{m.group(1)} id="{slug(m.group(2))}">{m.group(2)}</h{m.group(1)}>',
                  body)
    page = f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{html.escape(title)}</title>
<style>
body {{ font-family: sans-serif; max-width: 52em; margin: 2em auto; padding: 0 1em; line-height: 1.5; }}
table {{ border-collapse: collapse; }}
th, td {{ border: 1px solid #bbb; padding: 0.25em 0.5em; vertical-align: top; }}
pre {{ background: #f3f3f3; padding: 0.5em; overflow-x: auto; }}
code {{ background: #f3f3f3; }}
</style>
</head>
<body>
{body}</body>
</html>
"""
    with open(target, "w", encoding="utf-8") as out:
        out.write(page)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
