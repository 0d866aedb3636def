// Makes a generated chat page work as a chat: Return in the composer adds the
// user turn, then a canned reply streams word by word with a stop control
// shown; when it ends the completion markers come back.
(function () {
  "use strict";
  const REPLY = "Here is a short answer that streams word by word, so a reader " +
                "sees it grow for a few seconds and then settle.";
  const STEP_MS = 150;
  const $ = (sel, root) => (root || document).querySelector(sel);
  const $$ = (sel, root) => Array.from((root || document).querySelectorAll(sel));
  const last = (list) => list[list.length - 1];
  const headingStarts = (el, prefix) => {
    const h = $("h3", el);
    return !!h && (h.getAttribute("aria-label") || h.textContent).startsWith(prefix);
  };
  const button = (label, text) => {
    const b = document.createElement("button");
    if (label) b.setAttribute("aria-label", label);
    if (text) b.textContent = text;
    return b;
  };
  const div = (cls) => {
    const d = document.createElement("div");
    if (cls) d.className = cls;
    return d;
  };

  // Each surface: add(prompt) puts the new turns in place and returns
  // {target, onText, busy: [nodes shown while streaming], done: [nodes shown after]}.
  const surfaces = {
    chatgpt(prompt) {
      const arts = $$("article");
      const u = last(arts.filter((a) => headingStarts(a, "You said:"))).cloneNode(true);
      const a = last(arts.filter((a) => headingStarts(a, "ChatGPT said:"))).cloneNode(true);
      $(".whitespace-pre-wrap", u).textContent = prompt;
      const md = $(".markdown", a);
      md.replaceChildren(div());
      last(arts).after(u, a);
      const composer = $(".composer-parent > div");
      const busy = [button("Stop streaming"), button(null, "Stop answering")];
      composer.append(...busy);
      return { target: md.firstChild, busy, done: [$('[aria-label="Response actions"]', a)] };
    },
    claude_ai(prompt) {
      const list = $('[aria-label="Chat messages"]');
      const items = Array.from(list.children);
      const u = last(items.filter((m) => headingStarts(m, "You said:"))).cloneNode(true);
      const a = last(items.filter((m) => headingStarts(m, "Claude responded:"))).cloneNode(true);
      $("h3", u).textContent = "You said: " + prompt;
      $(".whitespace-normal", u).textContent = prompt;
      const body = $(".font-claude-response", a);
      body.replaceChildren(div("whitespace-normal break-words"));
      list.append(u, a);
      const n = list.children.length;
      Array.from(list.children).forEach((m, i) => m.setAttribute("aria-label", `Message ${i + 1} of ${n}`));
      const status = $('[role="status"]');
      status.textContent = "";
      const send = $('[aria-label="Send message"]');
      const stop = button("Stop response");
      send.hidden = true;
      send.after(stop);
      return {
        target: body.firstChild, busy: [stop], done: [$('[role="toolbar"]', a)],
        onText: (t) => { $("h3", a).textContent = "Claude responded: " + t; },
        onDone: () => { send.hidden = false; status.textContent = "Claude finished the response"; },
      };
    },
    gemini(prompt) {
      const c = last($$(".conversation-container")).cloneNode(true);
      $("h3", c).textContent = "You said " + prompt;
      $(".query-text", c).replaceChildren(Object.assign(div("query-text-line"), { textContent: prompt }));
      const md = $(".markdown", c);
      md.replaceChildren(div());
      last($$(".conversation-container")).after(c);
      const stop = button("Stop response");
      $(".input-area-container").append(stop);
      return { target: md.firstChild, busy: [stop], done: [$(".response-container-footer", c)] };
    },
    perplexity(prompt) {
      const host = $(".scrollable-container > div");
      const kids = Array.from(host.children);
      const start = kids.lastIndexOf(last(kids.filter((k) => k.classList.contains("group/query"))));
      let end = kids.findIndex((k, i) => i > start && $("h3", k) && $("h3", k).textContent === "Related");
      if (end < 0) end = kids.length;
      const clones = kids.slice(start, end).map((k) => k.cloneNode(true));
      const [, question] = clones;
      question.children[0].textContent = prompt;
      question.children[1].textContent = "9:45 AM";
      // After the tabs: source chips (not always), the answer, then its actions.
      const tabs = clones.findIndex((k) => k.getAttribute("role") === "tablist");
      const actions = clones.filter((k) => k.tagName === "BUTTON");
      const blocks = clones.slice(tabs + 1).filter((k) => k.tagName !== "BUTTON");
      const answer = blocks[blocks.length - 1];
      blocks.slice(0, -1).forEach((k) => clones.splice(clones.indexOf(k), 1));
      answer.replaceChildren(div());
      if (end < kids.length) kids[end].before(...clones); else host.append(...clones);
      const stop = button("Stop generating");
      $("textarea").after(stop);
      return { target: answer.firstChild, busy: [stop], done: actions };
    },
    deepseek(prompt) {
      const list = $(".ds-virtual-list-visible-items");
      const u = last($$("._9663006", list)).cloneNode(true);
      const a = last($$("._4f9bf79", list)).cloneNode(true);
      $(".fbb737a4", u).replaceChildren(prompt);
      for (const sel of ["._5255ff8", "._74c0879", ".ds-think-content"]) $$(sel, a).forEach((n) => n.remove());
      const md = $(".ds-markdown", a);
      md.replaceChildren(div("ds-markdown-paragraph"));
      list.append(u, a);
      const stop = button("Stop");
      $("._24fad49").append(stop);
      return { target: md.firstChild, busy: [stop], done: [$("._0a3d93b", a)] };
    },
    // The design side chat: the prompt is a bubble; the reply is tool lines
    // and prose beside the avatar, with a stop control under the composer.
    claude_design(prompt) {
      const list = $(".om-chat-messages");
      const u = last($$(".select-text.w-fit", list)).parentElement.cloneNode(true);
      $$(".om-attachment-thumb", u).forEach((n) => n.remove());
      $(".select-text", u).textContent = prompt;
      const a = last($$(".om-assistant-turn", list)).cloneNode(true);
      const body = a.lastElementChild;
      const tool = $(".om-tool-line", body);
      const prose = div("prose");
      body.replaceChildren(...(tool ? [tool] : []), prose);
      list.append(u, a);
      const stop = button("Stop response");
      $(".om-composer").after(stop);
      return { target: prose, busy: [stop], done: [] };
    },
    claude_cowork(prompt) { return surfaces.claude_ai(prompt); },
    gemini_docs(prompt) { return panel(prompt); },
    gemini_sheets(prompt) { return panel(prompt); },
  };

  function panel(prompt) {
    const feed = $(".appsElementsSidekickFeedEntries");
    const u = last($$(".appsElementsSidekickUserMessageRoot", feed)).cloneNode(true);
    const a = last($$(".appsElementsSidekickAgentMessageRoot", feed)).cloneNode(true);
    const h = $("h3", u);
    h.removeAttribute("aria-label");
    h.textContent = prompt;
    $$(".appsElementsSidekickSources", a).forEach((n) => n.remove());
    const content = $(".appsElementsSidekickAgentMessageContent", a);
    content.replaceChildren(div());
    feed.append(u, a);
    const spinner = div("appsElementsSidekickThinkingStateCircleSpinner");
    spinner.setAttribute("role", "progressbar");
    spinner.setAttribute("aria-label", "Thinking");
    a.prepend(spinner);
    return { target: content.firstChild, busy: [spinner], done: [$(".appsElementsSidekickFeedbackActions", a)] };
  }

  // "?rename=old:new" renames a class on the whole page, as an app update would.
  const rename = new URLSearchParams(location.search).get("rename");
  if (rename && rename.includes(":")) {
    const [from, to] = rename.split(":");
    for (const el of document.getElementsByClassName(from)) el.classList.add(to);
    for (const el of Array.from(document.getElementsByClassName(from))) el.classList.remove(from);
  }

  const surface = document.body.dataset.surface;
  let streaming = false;

  function finish(turn, text) {
    turn.target.textContent = text;
    if (turn.onText) turn.onText(text);
    turn.busy.forEach((n) => n.remove());
    turn.done.forEach((n) => n && (n.hidden = false));
    if (turn.onDone) turn.onDone();
  }

  // "?history=N" adds N finished exchanges first: a long conversation.
  const history = Number(new URLSearchParams(location.search).get("history") || 0);
  for (let i = 1; i <= history; i++) finish(surfaces[surface](`Earlier question ${i}?`), `Earlier answer ${i}. ` + REPLY);

  // "?ask=TEXT" adds one finished exchange asking TEXT: a conversation that
  // began with a known prompt (what a regression baseline looks for).
  const ask = new URLSearchParams(location.search).get("ask");
  if (ask) finish(surfaces[surface](ask), REPLY);

  function send(prompt) {
    const turn = surfaces[surface](prompt);
    turn.done.forEach((n) => n && (n.hidden = true));
    const words = REPLY.split(" ");
    let shown = 0;
    streaming = true;
    const timer = setInterval(() => {
      shown += 1;
      const text = words.slice(0, shown).join(" ");
      if (shown < words.length) {
        turn.target.textContent = text;
        if (turn.onText) turn.onText(text);
        return;
      }
      clearInterval(timer);
      finish(turn, text);
      streaming = false;
    }, STEP_MS);
  }

  document.addEventListener("keydown", (event) => {
    const box = event.target;
    if (event.key !== "Enter" || event.shiftKey || box.tagName !== "TEXTAREA") return;
    event.preventDefault();
    const prompt = box.value.trim();
    if (!prompt || streaming) return;
    box.value = "";
    send(prompt);
  });
})();
