"""Perplexity's thread page as www.perplexity.ai serves it.

Where the markup comes from (public exporters, userscripts and extensions
that read the page):
- ckep1/pplxport (pplxport.user.js): the thread in
  `.max-w-threadContentWidth` under `main`; a query's root holds
  `.whitespace-pre-line.text-pretty.break-words` text and its
  `button[data-testid=copy-query-button]`; the answer is the
  `.prose.text-pretty.dark:prose-invert` block, closed by the answer's
  `button[aria-label="Copy"]`; code copy buttons are "Copy code";
- exporters' and prompt tools' selector lists: `h1.group/query` (the query
  as a heading, `span.select-text` inside), `[id^="markdown-content-"]`
  (each answer's container, numbered from 0), `.prose`, `main`, the
  `[role=tablist]` "Answer" / "Images" / "Sources" tabs, the composer
  `textarea[placeholder*="Ask"]` and `button[aria-label="Submit"]`, the
  stop button `button[aria-label*="Stop"]`;
- the "complexity" extension's and exporters' notes on citations: each is a
  link (`a.citation`, site name and "+N") inside the prose, which exporters
  strip or rewrite.

Only what carries an id, a role or a label on the real page carries one
here: the query wrapper, the thread, the source row and the prose are
class-only divs.
"""
import html

URL = "https://www.perplexity.ai/search/why-is-the-sky-blue-Xk3p9QeTRbW2v8nLm1aZ7g"
TITLE = "why is the sky blue - Perplexity"

HISTORY = [
    ("why is the sky blue", None, 8),
    ("does the same happen on mars?", "rich", 5),
]
PLAIN_REPLY = ('<p class="my-2 [&amp;+p]:mt-4">The sky appears blue because of Rayleigh scattering'
               '<a href="https://en.wikipedia.org/wiki/Rayleigh_scattering" '
               'class="citation ml-xs inline" data-pplx-citation="" rel="noopener"><span class="text-quiet">wikipedia</span>'
               '<span class="text-quiet">+2</span></a>.</p>'
               '<h2 class="mb-2 mt-4 font-display font-semimedium">Why not violet?</h2>'
               '<p class="my-2 [&amp;+p]:mt-4">Our eyes are more sensitive to blue light, and some violet is absorbed '
               'high in the atmosphere<a href="https://www.nasa.gov/" class="citation ml-xs inline" '
               'data-pplx-citation="" rel="noopener"><span class="text-quiet">nasa</span></a>.</p>')

STYLE = ("<style>.group\\/query{margin:8px 0}.max-w-threadContentWidth{max-width:48rem}"
         "textarea{width:90%;min-height:3em}</style>")


def chips():
    names = ("wikipedia", "nasa", "britannica")
    return ('<div class="grid grid-cols-3 gap-sm">' + "".join(
        f'<a class="citation inline-flex" href="https://{n}.org/" rel="noopener"><img alt="" src="{IMAGE}">'
        f'<span class="line-clamp-1">{n}</span></a>' for n in names) + "</div>")


IMAGE = "data:image/svg+xml,%3Csvg xmlns='http://www.w3.org/2000/svg' width='16' height='16'/%3E"


def actions():
    labels = ("Share", "Export", "Rewrite", "Helpful", "Not helpful", "Copy", "More")
    return ('<div class="flex items-center justify-between mt-sm"><div class="flex gap-x-xs">' + "".join(
        f'<button type="button" aria-label="{l}" class="focus-visible:bg-subtle hover:bg-subtle text-quiet"'
        f' data-state="closed"><div class="flex items-center"><svg class="tabler-icon" width="16" height="16"></svg>'
        f'</div></button>' for l in labels) + "</div></div>")


def exchange(n, prompt, body, sources, beside=""):
    return (
        '<div class="border-subtlest pb-md">'
        '<div class="group/query relative flex items-end gap-xs">'
        '<h1 class="group/query whitespace-pre-line text-pretty break-words font-display text-3xl">'
        f'<span class="select-text">{html.escape(prompt)}</span></h1>'
        '<div class="flex gap-xs opacity-0 group-hover/query:opacity-100">'
        '<button type="button" aria-label="Edit query" class="text-quiet"><svg width="16" height="16"></svg></button>'
        '<button type="button" aria-label="Copy query" data-testid="copy-query-button" class="text-quiet">'
        '<svg width="16" height="16"></svg></button></div></div>'
        '<div role="tablist" class="flex gap-md border-b" aria-orientation="horizontal">'
        '<button role="tab" aria-selected="true" type="button" class="text-sm">Answer</button>'
        '<button role="tab" aria-selected="false" type="button" class="text-sm">Images</button>'
        f'<button role="tab" aria-selected="false" type="button" class="text-sm">Sources · {sources}</button></div>'
        f'<div class="mt-md">{chips()}</div>'
        f'<div id="markdown-content-{n}" class="gap-y-md flex min-w-0 flex-col">'
        '<div class="prose dark:prose-invert inline leading-relaxed break-words min-w-0 [word-break:break-word]">'
        f'{body}</div>{beside}</div>'
        f'{actions()}</div>')


def page(rich):
    turns = "".join(exchange(i, prompt, rich.body("perplexity", rich.HISTORY) if kind else PLAIN_REPLY, sources,
                             rich.beside("perplexity") if kind else "")
                    for i, (prompt, kind, sources) in enumerate(HISTORY))
    body = (
        STYLE +
        '<div class="flex"><nav class="sidebar flex flex-col">'
        '<a href="/" class="reset"><div>Home</div></a><a href="/discover" class="reset"><div>Discover</div></a>'
        '<a href="/spaces" class="reset"><div>Spaces</div></a><a href="/library" class="reset"><div>Library</div></a>'
        '<button type="button" aria-label="New Thread" class="text-quiet"><svg width="16" height="16"></svg></button>'
        '</nav>'
        '<main class="flex-1"><div class="sticky top-0 flex items-center justify-between">'
        '<div class="truncate">why is the sky blue</div>'
        '<button type="button" aria-label="Share">Share</button>'
        '<button type="button" aria-label="Thread actions"><svg width="16" height="16"></svg></button></div>'
        '<div class="scrollable-container flex-1 overflow-auto"><div class="max-w-threadContentWidth mx-auto">'
        f'{turns}'
        '<div class="related mt-lg"><h2 class="text-lg">Related</h2>'
        '<button type="button" class="related-question">Why are sunsets red?</button>'
        '<button type="button" class="related-question">What color is the sky on Venus?</button></div>'
        '</div></div>'
        '<div class="composer bg-raised rounded-2xl">'
        '<textarea placeholder="Ask a follow-up" class="overflow-auto max-h-[45vh] outline-none w-full resize-none" '
        'autocomplete="off" rows="1"></textarea>'
        '<button type="button" aria-label="Model" class="text-quiet">Model</button>'
        '<button type="button" aria-label="Attach" class="text-quiet"><svg width="16" height="16"></svg></button>'
        '<button type="button" aria-label="Submit" class="bg-super"><svg width="16" height="16"></svg></button>'
        '</div></main></div>')
    return URL, TITLE, body
