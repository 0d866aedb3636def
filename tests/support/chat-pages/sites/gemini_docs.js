// The Workspace Gemini panel at work (Docs and Sheets): a sent prompt becomes a
// new user message and an agent message whose bubble is there at once, empty,
// with the thinking spinner; the reply then streams into that bubble, and the
// feedback row comes when it ends.
window.velmarSites = window.velmarSites || {};
window.velmarSites["gemini_docs"] = (kit) => {
  const { $, $$, last, div } = kit;
  const feed = () => $(".appsElementsSidekickFeedEntries");
  // A long prompt shows cut short; its heading's label holds it whole.
  const prompt = (h) => h.hasAttribute("aria-label")
    ? Object.assign(div(), { textContent: h.getAttribute("aria-label") }) : h;
  return {
    add(prompt) {
      const u = last($$(".appsElementsSidekickUserMessageRoot", feed())).cloneNode(true);
      const a = last($$(".appsElementsSidekickAgentMessageRoot", feed())).cloneNode(true);
      const h = $("h3", u);
      h.removeAttribute("aria-label");
      h.textContent = prompt;
      $$(".appsElementsSidekickSources", a).forEach((n) => n.remove());
      const bubble = $(".appsElementsSidekickAgentMessageBubbleContent", a);
      bubble.replaceChildren();
      feed().append(u, a);
      const spinner = div("appsElementsSidekickThinkingStateCircleSpinner");
      spinner.setAttribute("role", "progressbar");
      spinner.setAttribute("aria-label", "Thinking");
      a.prepend(spinner);
      return { target: bubble, busy: [spinner], done: [$(".appsElementsSidekickFeedbackActions", a)] };
    },
    bubbles() {
      return $$(".appsElementsSidekickUserMessageRoot, .appsElementsSidekickAgentMessageRoot", feed()).map((m) =>
        m.classList.contains("appsElementsSidekickUserMessageRoot") ? ["user", prompt($("h3", m))]
          : ["assistant", $(".appsElementsSidekickAgentMessageBubbleContent", m)]);
    },
  };
};
window.velmarSites["gemini_sheets"] = window.velmarSites["gemini_docs"];
