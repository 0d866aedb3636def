"""A Claude Cowork task page: claude.ai's own chat markup (sites/claude_ai.py
notes its sources) under a task's address. No public exporter or userscript
describes what Cowork adds around a task (its step lines, its folder
picker), so the page has none of it rather than a guess; the reply script is
claude.ai's (sites/claude_ai.js).
"""
import claude_ai

URL = "https://claude.ai/cowork/7c9e1a3b-5d7f-4b9d-8e0a-2c4e6a8b0d35"
SCRIPT = "claude_ai"


def page(rich):
    done = "I moved 42 files into Documents, Images and Archives."
    messages = [
        claude_ai.prompt("Sort the files in my Downloads folder by type.", "9:12 AM"),
        claude_ai.reply(f'<p class="whitespace-normal break-words">{done}</p>', done),
    ]
    return URL, "Tidy downloads - Claude", claude_ai.layout("Tidy downloads", messages)
